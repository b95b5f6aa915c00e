#pragma once
#include "update/UpdateKey.h"

// How the check of an update archive's signature ended.
enum class SignatureCheck {
    Verified,
    Bad,          // no signature, or one that is not the key's over this very archive
    Unavailable,  // this system can't verify at all: no RSA/AES provider with SHA-256
                  // (Windows before XP SP3), or the key does not import
};

// Checks the detached signature in the file `signaturePath` (null: none could be
// fetched) of the file `archivePath` against `key` with the system's CryptoAPI:
// the raw RSA PKCS#1 v1.5 signature of the SHA-256 of the whole file, most
// significant byte first, as `openssl dgst -sha256 -sign` writes it.
SignatureCheck VerifyArchiveSignature(const UpdateKey& key, const wchar_t* archivePath, const wchar_t* signaturePath);
