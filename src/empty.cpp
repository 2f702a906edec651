// Placeholder translation unit for a subsystem library that has no sources yet.
namespace {
[[maybe_unused]] int quillo_empty_library = 0;
}
