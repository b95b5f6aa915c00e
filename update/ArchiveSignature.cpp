#include "update/ArchiveSignature.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <vector>

#include "framework/UniqueHandle.h"

namespace {
// SHA-256 came to CryptoAPI with XP SP3: the headers keep it from a plain XP
// target, so the program asks the system for it at run time.
constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;  // CALG_SHA_256, sub-id 12

BOOL ReleaseProvider(HCRYPTPROV provider) { return CryptReleaseContext(provider, 0); }
using UniqueProvider = UniqueHandle<HCRYPTPROV, ReleaseProvider>;
using UniqueCryptKey = UniqueHandle<HCRYPTKEY, CryptDestroyKey>;
using UniqueHash = UniqueHandle<HCRYPTHASH, CryptDestroyHash>;

UniqueFileHandle OpenForReading(const wchar_t* path) {
    return UniqueFileHandle(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Feeds the whole file into the hash; false when it can't be read to its end.
bool HashFile(HCRYPTHASH hash, const wchar_t* path) {
    UniqueFileHandle file = OpenForReading(path);
    if (!file) return false;
    std::vector<BYTE> block(64 * 1024);
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &count, nullptr)) return false;
        if (count == 0) return true;
        if (!CryptHashData(hash, block.data(), count, 0)) return false;
    }
}

// The signature, when the file holds exactly `length` bytes: anything longer or
// shorter is no signature by this key, and is not read further.
bool ReadSignature(const wchar_t* path, DWORD length, std::vector<BYTE>& signature) {
    UniqueFileHandle file = OpenForReading(path);
    if (!file) return false;
    signature.assign(length + 1, 0);
    DWORD total = 0, count = 0;
    while (total < signature.size() &&
           ReadFile(file.get(), signature.data() + total, static_cast<DWORD>(signature.size()) - total, &count,
                    nullptr) &&
           count > 0) {
        total += count;
    }
    signature.resize(total);
    return total == length;
}
}  // namespace

SignatureCheck VerifyArchiveSignature(const UpdateKey& key, const wchar_t* archivePath, const wchar_t* signaturePath) {
    // Without a context, the key or a SHA-256 hash, nothing can be verified here.
    UniqueProvider provider;
    if (!CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        return SignatureCheck::Unavailable;
    }
    UniqueCryptKey publicKey;
    if (!CryptImportKey(provider.get(), key.blob, key.size, 0, 0, publicKey.put())) return SignatureCheck::Unavailable;
    UniqueHash hash;
    if (!CryptCreateHash(provider.get(), kSha256, 0, 0, hash.put())) return SignatureCheck::Unavailable;
    DWORD bits = 0, size = sizeof bits;
    if (!CryptGetKeyParam(publicKey.get(), KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size, 0)) {
        return SignatureCheck::Unavailable;
    }

    std::vector<BYTE> signature;
    if (!signaturePath || !ReadSignature(signaturePath, bits / 8, signature)) return SignatureCheck::Bad;
    if (!HashFile(hash.get(), archivePath)) return SignatureCheck::Bad;
    // OpenSSL writes the signature most significant byte first; CryptoAPI reads it the other way.
    std::reverse(signature.begin(), signature.end());
    const BOOL verified = CryptVerifySignatureW(hash.get(), signature.data(), static_cast<DWORD>(signature.size()),
                                                publicKey.get(), nullptr, 0);
    return verified ? SignatureCheck::Verified : SignatureCheck::Bad;
}
