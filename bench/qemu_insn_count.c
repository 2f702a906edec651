/* A plugin for qemu's user-mode emulator that counts the guest instructions a
 * program executes and prints "instructions N" on standard error at its exit.
 * scripts/bench-console.sh builds it with the machine's C compiler and runs the
 * console build under `qemu-arm -cpu ti925t -plugin`.
 *
 * Debian ships qemu with plugins enabled but without the plugin header, so the
 * few entry points used are declared here as qemu's plugin API (version 1, as
 * in qemu 7.2) documents them. Each translated block adds its instruction count
 * to one counter as it runs, inline, without a call into the plugin. */
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

typedef uint64_t qemu_plugin_id_t;
typedef struct qemu_info_t qemu_info_t;
struct qemu_plugin_tb;
enum qemu_plugin_op { QEMU_PLUGIN_INLINE_ADD_U64 };
typedef void (*qemu_plugin_vcpu_tb_trans_cb_t)(qemu_plugin_id_t id, struct qemu_plugin_tb* tb);
typedef void (*qemu_plugin_udata_cb_t)(qemu_plugin_id_t id, void* userdata);

void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t id, qemu_plugin_vcpu_tb_trans_cb_t cb);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb* tb);
void qemu_plugin_register_vcpu_tb_exec_inline(struct qemu_plugin_tb* tb, enum qemu_plugin_op op,
                                              void* ptr, uint64_t imm);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t id, qemu_plugin_udata_cb_t cb, void* userdata);

#define EXPORTED __attribute__((visibility("default")))

EXPORTED int qemu_plugin_version = 1;

/* The reader runs one thread, so one counter serves. */
static uint64_t executed;

static void OnTranslate(qemu_plugin_id_t id, struct qemu_plugin_tb* tb) {
  (void)id;
  qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &executed,
                                           qemu_plugin_tb_n_insns(tb));
}

static void OnExit(qemu_plugin_id_t id, void* userdata) {
  (void)id;
  (void)userdata;
  fprintf(stderr, "instructions %llu\n", (unsigned long long)executed);
}

EXPORTED int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info, int argc,
                                 char** argv) {
  (void)info;
  (void)argc;
  (void)argv;
  qemu_plugin_register_vcpu_tb_trans_cb(id, OnTranslate);
  qemu_plugin_register_atexit_cb(id, OnExit, NULL);
  return 0;
}
