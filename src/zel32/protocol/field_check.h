// The field check every decoder applies before it reads a variable field,
// and checked reads built on it: a refused field records error 20, value 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/fields.h"

struct ZelContext;

enum ZelFieldKind { kFieldExtensible = 1, kFieldImage = 2 };

// Kind 1: an extensible field of at most max + 1 bytes that ends within the
// remaining bytes. Kind 2: an image field whose count is at most max. Other
// kinds pass unchecked. Returns 1, or -1 after recording error 20.
int FieldCheck(ZelContext* context, const uint8_t* field, size_t remaining, size_t max, int kind);

// Refuses the message: error 20, value 0, and the block it came in is
// marked for ZelDropRefusedBlock; returns -1.
int ZelUnexpectedMessage(ZelContext* context);

// An extensible field (at most max + 1 bytes): keeps its first `keep` bytes
// in out, consumes the whole field. False after recording error 20.
bool ZelTakeExtensible(ZelContext* context, wire::Reader& body, size_t max, uint8_t* out, size_t keep);

// An image field whose count is at most max and whose bytes are all in the
// body: copies up to `capacity` of them into out and stores the count.
bool ZelTakeImage(ZelContext* context, wire::Reader& body, size_t max, void* out, size_t capacity,
                  uint8_t* count);
