// The standard security handler for files that open without a password: the
// file key from the empty user password (MD5 and RC4 for revisions 2 to 4,
// SHA-2 and AES-256 for 5 and 6), the key of each object, and RC4 and AES CBC
// decryption of strings and stream data. Nettle does the cryptography. Called
// by the document code when it opens a file and parses objects and streams.
#include "pdf/crypt.h"

#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <nettle/sha2.h>

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// What a password is padded with to 32 bytes; the empty password is all of it.
const uint8_t CRYPT_PADDING[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                   0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                   0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

constexpr size_t CRYPT_BLOCK = AES_BLOCK_SIZE;

// Nettle calls the block cipher through one function type for every cipher.
void Aes128Encrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src) {
  aes128_encrypt(static_cast<const aes128_ctx*>(ctx), length, dst, src);
}
void Aes128Decrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src) {
  aes128_decrypt(static_cast<const aes128_ctx*>(ctx), length, dst, src);
}
void Aes256Decrypt(const void* ctx, size_t length, uint8_t* dst, const uint8_t* src) {
  aes256_decrypt(static_cast<const aes256_ctx*>(ctx), length, dst, src);
}

const uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }

// The bytes of the string value of key; null when it is missing or no string.
const std::string* StringOf(const PdfObject& dictionary, const char* key) {
  const PdfObject* value = dictionary.Get(key);
  return value && value->type == PDF_STRING ? &value->text : nullptr;
}

// A key length in bits (40 to 128, as the format says) or, as some writers put
// it in crypt filters, in bytes (5 to 16); fallback when missing or neither.
size_t KeyBytes(const PdfObject* length, size_t fallback) {
  if (!length || !length->IsNumber()) return fallback;
  const double value = length->number;
  if (value >= 5 && value <= 16) return size_t(value);
  if (value >= 40 && value <= 128) return size_t(value) / 8;
  return fallback;
}

// Decrypts the whole blocks of src[0..length) into dst (src itself, or
// length bytes apart from it) with AES CBC under key (16 or 32 bytes),
// starting from iv. The count of bytes left once valid padding is removed.
size_t AesDecrypt(const uint8_t* key, size_t keyLength, const uint8_t* iv, const uint8_t* src, size_t length,
                  uint8_t* dst) {
  length -= length % CRYPT_BLOCK;
  if (length == 0) return 0;
  uint8_t chain[CRYPT_BLOCK];
  std::memcpy(chain, iv, CRYPT_BLOCK);
  if (keyLength == AES256_KEY_SIZE) {
    aes256_ctx aes;
    aes256_set_decrypt_key(&aes, key);
    cbc_decrypt(&aes, Aes256Decrypt, CRYPT_BLOCK, chain, length, dst, src);
  } else {
    aes128_ctx aes;
    aes128_set_decrypt_key(&aes, key);
    cbc_decrypt(&aes, Aes128Decrypt, CRYPT_BLOCK, chain, length, dst, src);
  }
  // PKCS#5: n bytes of value n. Anything else is data that a writer left
  // unpadded, and stays.
  const uint8_t pad = dst[length - 1];
  if (pad == 0 || pad > CRYPT_BLOCK) return length;
  for (size_t i = 1; i <= pad; ++i) {
    if (dst[length - i] != pad) return length;
  }
  return length - pad;
}

// The key of one object: the file key itself for AES-256, else the first
// n + 5 bytes (at most 16) of MD5 over the file key, the low three bytes of
// the object number and two of the generation, and "sAlT" for AES-128.
size_t ObjectKey(const PdfCrypt& crypt, PdfCryptMethod method, int32_t number, int32_t generation,
                 uint8_t key[32]) {
  if (method == PDF_CRYPT_AES256) {
    std::memcpy(key, crypt.key, AES256_KEY_SIZE);
    return AES256_KEY_SIZE;
  }
  const uint32_t n = uint32_t(number);
  const uint32_t g = uint32_t(generation);
  const uint8_t id[5] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(g), uint8_t(g >> 8)};
  md5_ctx md5;
  md5_init(&md5);
  md5_update(&md5, crypt.keyLength, crypt.key);
  md5_update(&md5, sizeof id, id);
  if (method == PDF_CRYPT_AES128) md5_update(&md5, 4, reinterpret_cast<const uint8_t*>("sAlT"));
  md5_digest(&md5, MD5_DIGEST_SIZE, key);
  if (method == PDF_CRYPT_AES128) return AES128_KEY_SIZE;
  return crypt.keyLength + 5 < MD5_DIGEST_SIZE ? crypt.keyLength + 5 : MD5_DIGEST_SIZE;
}

// The file key of revisions 2 to 4 from the empty password: MD5 over the
// padding, /O, /P (four bytes, low first), the file's ID and, for revision 4
// with metadata in the clear, four 0xFF bytes; from revision 3 on, hashed
// again 50 times over its first n bytes.
void RevisionFourKey(int revision, const std::string& owner, uint32_t permissions, const std::string& id,
                     bool encryptMetadata, size_t n, uint8_t key[16]) {
  uint8_t digest[MD5_DIGEST_SIZE];
  const uint8_t p[4] = {uint8_t(permissions), uint8_t(permissions >> 8), uint8_t(permissions >> 16),
                        uint8_t(permissions >> 24)};
  const uint8_t clear[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  md5_ctx md5;
  md5_init(&md5);
  md5_update(&md5, sizeof CRYPT_PADDING, CRYPT_PADDING);
  md5_update(&md5, 32, Bytes(owner));
  md5_update(&md5, sizeof p, p);
  md5_update(&md5, id.size(), Bytes(id));
  if (revision >= 4 && !encryptMetadata) md5_update(&md5, sizeof clear, clear);
  md5_digest(&md5, sizeof digest, digest);
  if (revision >= 3) {
    for (int i = 0; i < 50; ++i) {
      md5_init(&md5);
      md5_update(&md5, n, digest);
      md5_digest(&md5, sizeof digest, digest);
    }
  }
  std::memcpy(key, digest, n);
}

// True when key is the one of the empty password: revision 2 stores the
// padding under RC4 in all 32 bytes of /U; 3 and 4 store in its first 16 the
// MD5 of the padding and the ID under RC4 twenty times, with the key's bytes
// XORed with 0 to 19.
bool UserKeyMatches(int revision, const uint8_t* key, size_t n, const std::string& user, const std::string& id) {
  arcfour_ctx rc4;
  if (revision == 2) {
    uint8_t check[32];
    arcfour_set_key(&rc4, n, key);
    arcfour_crypt(&rc4, sizeof check, check, CRYPT_PADDING);
    return std::memcmp(check, user.data(), sizeof check) == 0;
  }
  uint8_t check[MD5_DIGEST_SIZE];
  md5_ctx md5;
  md5_init(&md5);
  md5_update(&md5, sizeof CRYPT_PADDING, CRYPT_PADDING);
  md5_update(&md5, id.size(), Bytes(id));
  md5_digest(&md5, sizeof check, check);
  for (int i = 0; i < 20; ++i) {
    uint8_t round[16];
    for (size_t k = 0; k < n; ++k) round[k] = uint8_t(key[k] ^ i);
    arcfour_set_key(&rc4, n, round);
    arcfour_crypt(&rc4, sizeof check, check, check);
  }
  return std::memcmp(check, user.data(), sizeof check) == 0;
}

// The hash of the empty password with an 8-byte salt (and no /U: the user's
// side). Revision 5: SHA-256. Revision 6 goes on from there: rounds of
// AES-128 CBC over 64 copies of the hash (key its first 16 bytes, IV the
// next 16), each then hashed by SHA-256, -384 or -512 as the first 16 bytes
// of the result say (their sum modulo 3, which is the 128-bit number's), at
// least 64 rounds and until the result's last byte is at most the round
// count less 32.
void UserHash(int revision, const uint8_t* salt, uint8_t out[32]) {
  uint8_t k[SHA512_DIGEST_SIZE];
  size_t kLength = SHA256_DIGEST_SIZE;
  sha256_ctx sha256;
  sha256_init(&sha256);
  sha256_update(&sha256, 8, salt);
  sha256_digest(&sha256, SHA256_DIGEST_SIZE, k);
  if (revision == 6) {
    std::vector<uint8_t> k1(64 * SHA512_DIGEST_SIZE), e(64 * SHA512_DIGEST_SIZE);
    size_t eLength = 0;
    for (int round = 0; round < 64 || int(e[eLength - 1]) > round - 32; ++round) {
      eLength = 64 * kLength;
      for (size_t i = 0; i < 64; ++i) std::memcpy(&k1[i * kLength], k, kLength);
      aes128_ctx aes;
      aes128_set_encrypt_key(&aes, k);
      uint8_t iv[CRYPT_BLOCK];
      std::memcpy(iv, k + CRYPT_BLOCK, CRYPT_BLOCK);
      cbc_encrypt(&aes, Aes128Encrypt, CRYPT_BLOCK, iv, eLength, e.data(), k1.data());
      unsigned sum = 0;
      for (size_t i = 0; i < CRYPT_BLOCK; ++i) sum += e[i];
      if (sum % 3 == 0) {
        sha256_init(&sha256);
        sha256_update(&sha256, eLength, e.data());
        kLength = SHA256_DIGEST_SIZE;
        sha256_digest(&sha256, kLength, k);
      } else {
        sha512_ctx sha512;
        if (sum % 3 == 1) {
          sha384_init(&sha512);
          kLength = SHA384_DIGEST_SIZE;
        } else {
          sha512_init(&sha512);
          kLength = SHA512_DIGEST_SIZE;
        }
        sha512_update(&sha512, eLength, e.data());
        if (kLength == SHA384_DIGEST_SIZE) {
          sha384_digest(&sha512, kLength, k);
        } else {
          sha512_digest(&sha512, kLength, k);
        }
      }
    }
  }
  std::memcpy(out, k, 32);
}

// The method a crypt filter dictionary's /CFM names for handler version v;
// false when it is not one of them. A filter without one is the identity.
bool FilterMethod(const PdfObject& filter, int v, PdfCryptMethod* method) {
  const PdfObject* cfm = filter.Get("CFM");
  if (!cfm || cfm->IsName("None")) {
    *method = PDF_CRYPT_IDENTITY;
  } else if (v == 4 && cfm->IsName("V2")) {
    *method = PDF_CRYPT_RC4;
  } else if (v == 4 && cfm->IsName("AESV2")) {
    *method = PDF_CRYPT_AES128;
  } else if (v == 5 && cfm->IsName("AESV3")) {
    *method = PDF_CRYPT_AES256;
  } else {
    return false;
  }
  return true;
}

// /StmF or /StrF: the method of the filter it names (Identity when missing).
bool DefaultMethod(const PdfCrypt& crypt, const PdfObject& encrypt, const char* key, PdfCryptMethod* method) {
  const PdfObject* name = encrypt.Get(key);
  if (!name) {
    *method = PDF_CRYPT_IDENTITY;
    return true;
  }
  return name->type == PDF_NAME && PdfCryptFindFilter(crypt, name->text, method);
}

// Fills *crypt from the dictionary; PDF_ENCRYPTION_OPEN when the empty user
// password is the right one.
PdfEncryption ReadHandler(PdfCrypt* crypt, const PdfObject& encrypt, const std::string& id) {
  const PdfObject* filter = encrypt.Get("Filter");
  const PdfObject* v = encrypt.Get("V");
  const PdfObject* r = encrypt.Get("R");
  const std::string* owner = StringOf(encrypt, "O");
  const std::string* user = StringOf(encrypt, "U");
  if (!filter || !filter->IsName("Standard") || !v || !r || !owner || !user) return PDF_ENCRYPTION_UNSUPPORTED;
  const int version = v->Int();
  const int revision = r->Int();
  const PdfObject* metadata = encrypt.Get("EncryptMetadata");
  if (version >= 4 && metadata && metadata->type == PDF_BOOL) crypt->encryptMetadata = metadata->boolean;

  size_t n = 0;
  if (version == 1 || version == 2) {
    n = version == 1 ? 5 : KeyBytes(encrypt.Get("Length"), 5);
    crypt->strings = crypt->streams = PDF_CRYPT_RC4;
  } else if (version == 4 || version == 5) {
    const PdfObject* filters = encrypt.Get("CF");
    for (size_t i = 0; filters && filters->IsDict() && i < filters->items.size(); ++i) {
      PdfCryptFilter named;
      named.name = filters->keys[i];
      if (filters->items[i].IsDict() && FilterMethod(filters->items[i], version, &named.method)) {
        crypt->filters.push_back(std::move(named));
      }
    }
    if (!DefaultMethod(*crypt, encrypt, "StmF", &crypt->streams) ||
        !DefaultMethod(*crypt, encrypt, "StrF", &crypt->strings)) {
      return PDF_ENCRYPTION_UNSUPPORTED;
    }
    // The key length of RC4 filters (the one of streams, else of strings);
    // AES-128 always takes 16 bytes.
    const PdfObject* own = nullptr;
    for (const char* key : {"StmF", "StrF"}) {
      const PdfObject* name = encrypt.Get(key);
      if (!own && name && name->type == PDF_NAME && filters) own = filters->Get(name->text.c_str());
    }
    n = KeyBytes(own && own->IsDict() ? own->Get("Length") : nullptr, KeyBytes(encrypt.Get("Length"), 16));
    if (crypt->streams == PDF_CRYPT_AES128 || crypt->strings == PDF_CRYPT_AES128) n = 16;
  } else {
    return PDF_ENCRYPTION_UNSUPPORTED;
  }

  if (revision >= 2 && revision <= 4 && version <= 4) {
    const PdfObject* p = encrypt.Get("P");
    // /P is a 32-bit field that writers give signed or unsigned.
    if (!p || !p->IsNumber() || !(p->number >= -2147483648.0 && p->number <= 4294967295.0) ||
        owner->size() < 32 || user->size() < (revision == 2 ? 32u : 16u)) {
      return PDF_ENCRYPTION_UNSUPPORTED;
    }
    const uint32_t permissions = uint32_t(int64_t(p->number));
    RevisionFourKey(revision, *owner, permissions, id, crypt->encryptMetadata, n, crypt->key);
    crypt->keyLength = n;
    return UserKeyMatches(revision, crypt->key, n, *user, id) ? PDF_ENCRYPTION_OPEN : PDF_ENCRYPTION_PASSWORD;
  }
  if ((revision == 5 || revision == 6) && version == 5) {
    // /U: the hash, the validation salt, the key salt; /UE: the file key
    // under AES-256 with the hash of the key salt, IV zero, no padding.
    const std::string* sealed = StringOf(encrypt, "UE");
    if (user->size() < 48 || !sealed || sealed->size() < 32) return PDF_ENCRYPTION_UNSUPPORTED;
    uint8_t hash[32];
    UserHash(revision, Bytes(*user) + 32, hash);
    if (std::memcmp(hash, user->data(), sizeof hash) != 0) return PDF_ENCRYPTION_PASSWORD;
    UserHash(revision, Bytes(*user) + 40, hash);
    const uint8_t zero[CRYPT_BLOCK] = {};
    uint8_t chain[CRYPT_BLOCK];
    std::memcpy(chain, zero, CRYPT_BLOCK);
    aes256_ctx aes;
    aes256_set_decrypt_key(&aes, hash);
    cbc_decrypt(&aes, Aes256Decrypt, CRYPT_BLOCK, chain, 32, crypt->key, Bytes(*sealed));
    crypt->keyLength = AES256_KEY_SIZE;
    return PDF_ENCRYPTION_OPEN;
  }
  return PDF_ENCRYPTION_UNSUPPORTED;
}

// The strings of one object, with its key made on the first string found.
struct StringCipher {
  const PdfCrypt* crypt;
  int32_t number;
  int32_t generation;
  uint8_t key[32];
  size_t keyLength;
};

void DecryptStringsIn(StringCipher* cipher, PdfObject* object) {
  if (object->type == PDF_ARRAY || object->IsDict()) {
    for (PdfObject& item : object->items) DecryptStringsIn(cipher, &item);
    return;
  }
  if (object->type != PDF_STRING || object->text.empty()) return;
  const PdfCryptMethod method = cipher->crypt->strings;
  if (cipher->keyLength == 0) {
    cipher->keyLength = ObjectKey(*cipher->crypt, method, cipher->number, cipher->generation, cipher->key);
  }
  std::string& text = object->text;
  uint8_t* bytes = reinterpret_cast<uint8_t*>(&text[0]);
  if (method == PDF_CRYPT_RC4) {
    arcfour_ctx rc4;
    arcfour_set_key(&rc4, cipher->keyLength, cipher->key);
    arcfour_crypt(&rc4, text.size(), bytes, bytes);
  } else if (text.size() < 2 * CRYPT_BLOCK) {
    text.clear();  // no room for the IV and one block
  } else {
    uint8_t* data = bytes + CRYPT_BLOCK;
    const size_t kept = AesDecrypt(cipher->key, cipher->keyLength, bytes, data, text.size() - CRYPT_BLOCK, data);
    text.erase(0, CRYPT_BLOCK);
    text.resize(kept);
  }
}

}  // namespace

PdfEncryption PdfCryptOpen(PdfCrypt* crypt, const PdfObject& encrypt, const PdfObject* id) {
  *crypt = PdfCrypt();
  if (!encrypt.IsDict()) return PDF_ENCRYPTION_UNSUPPORTED;
  PdfCrypt found;
  const PdfEncryption result =
      ReadHandler(&found, encrypt, id && id->type == PDF_STRING ? id->text : std::string());
  if (result == PDF_ENCRYPTION_OPEN) *crypt = std::move(found);
  return result;
}

bool PdfCryptFindFilter(const PdfCrypt& crypt, const std::string& name, PdfCryptMethod* method) {
  if (name == "Identity") {
    *method = PDF_CRYPT_IDENTITY;
    return true;
  }
  for (const PdfCryptFilter& filter : crypt.filters) {
    if (filter.name == name) {
      *method = filter.method;
      return true;
    }
  }
  return false;
}

void PdfCryptStrings(const PdfCrypt& crypt, int32_t number, int32_t generation, PdfObject* object) {
  if (crypt.strings == PDF_CRYPT_IDENTITY) return;
  StringCipher cipher{&crypt, number, generation, {}, 0};
  DecryptStringsIn(&cipher, object);
}

int PdfCryptStream(const PdfCrypt& crypt, PdfCryptMethod method, int32_t number, int32_t generation,
                   const uint8_t* data, size_t length, uint8_t** out, size_t* outLength) {
  *out = nullptr;
  *outLength = 0;
  uint8_t* buffer = static_cast<uint8_t*>(std::malloc(length + 1));
  if (!buffer) return -1;
  size_t kept = 0;
  if (length > 0) {
    uint8_t key[32];
    const size_t keyLength = method == PDF_CRYPT_IDENTITY ? 0 : ObjectKey(crypt, method, number, generation, key);
    if (method == PDF_CRYPT_IDENTITY) {
      std::memcpy(buffer, data, length);
      kept = length;
    } else if (method == PDF_CRYPT_RC4) {
      arcfour_ctx rc4;
      arcfour_set_key(&rc4, keyLength, key);
      arcfour_crypt(&rc4, length, buffer, data);
      kept = length;
    } else if (length >= 2 * CRYPT_BLOCK) {
      kept = AesDecrypt(key, keyLength, data, data + CRYPT_BLOCK, length - CRYPT_BLOCK, buffer);
    }
  }
  buffer[kept] = 0;
  *out = buffer;
  *outLength = kept;
  return 1;
}
