// The interface between the fuzz targets and the answering module: the
// module takes every answer (return code, count, length, bytes) from the
// fuzz input that the target feeds it, and shows the templates it receives
// to the target.
#ifndef QUILLON_FUZZ_ANSWERS_H
#define QUILLON_FUZZ_ANSWERS_H

#include <stddef.h>
#include <stdint.h>

#include <p11-kit/pkcs11.h>

extern "C" {

// Makes `data` the input that answers come from, from its first byte.
void answers_feed(const uint8_t* data, size_t size);
// Takes the next `n` bytes of the input into `out`; past its end the bytes are 0. The targets
// draw their own choices from the same input, between the module's answers.
void answers_take(void* out, size_t n);
// True once the input is used up.
bool answers_exhausted(void);

// Called with each template the module receives: `role` is the Cryptoki function's name, or
// "C_GenerateKeyPair public" and "C_GenerateKeyPair private" for the two of a key pair.
typedef void (*TemplateObserver)(const char* role, const CK_ATTRIBUTE* attributes, CK_ULONG count);
void answers_observe(TemplateObserver observer);
}

#endif
