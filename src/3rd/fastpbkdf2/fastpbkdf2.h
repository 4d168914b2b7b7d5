#pragma once

#include <stddef.h>
#include <stdint.h>

// PBKDF2 (RFC 8018, section 5.2) with HMAC (RFC 2104) over SHA-1, SHA-256 or
// SHA-512. Each writes nout bytes derived from the password and the salt to
// out. An iteration costs two runs of the hash's compression function and
// nothing is allocated: the key's inner and outer HMAC states are computed
// once, and every further HMAC of a digest reuses them.
//
// iterations, out and nout must not be 0: the process stops otherwise, as it
// does for an output longer than the standard allows.
#ifdef __cplusplus
extern "C" {
#endif

void fastpbkdf2_hmac_sha1(const uint8_t* pw,
                          size_t npw,
                          const uint8_t* salt,
                          size_t nsalt,
                          uint32_t iterations,
                          uint8_t* out,
                          size_t nout);

void fastpbkdf2_hmac_sha256(const uint8_t* pw,
                            size_t npw,
                            const uint8_t* salt,
                            size_t nsalt,
                            uint32_t iterations,
                            uint8_t* out,
                            size_t nout);

void fastpbkdf2_hmac_sha512(const uint8_t* pw,
                            size_t npw,
                            const uint8_t* salt,
                            size_t nsalt,
                            uint32_t iterations,
                            uint8_t* out,
                            size_t nout);

#ifdef __cplusplus
}
#endif
