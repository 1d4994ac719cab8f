// The Attributes message: a file's data type, organisation, record format and
// attributes, sizes, allocation and options. The encoder builds the message
// sent ahead of an Access from the running operation and the caller's copy
// description; the decoder reads a received one into the context.
#pragma once

#include "wire/fields.h"

struct ZelContext;

// Builds the body into `body` and keeps its values in the link's sentAttributes,
// where the operations read the DATATYPE, RFM, MRS and FSZ sent. Returns 1,
// or -1 after recording error 4 (a copy description out of range) or 27 (a
// record size above the link's buffer size); nothing is written then.
int ZelEncodeAttributes(ZelContext* context, wire::Writer& body);

// Reads a received body into context->attributes. Returns 1, or -1 after
// recording error 20 for a field the field check refuses.
int ZelDecodeAttributes(ZelContext* context, wire::Reader& body);
