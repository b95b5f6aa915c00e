#pragma once

// The RSA public key that update archives must be signed with, as a CryptoAPI
// public key blob; none (an empty blob) in a build without one.
struct UpdateKey {
    const unsigned char* blob = nullptr;
    unsigned long size = 0;

    constexpr bool Present() const { return size != 0; }
};
