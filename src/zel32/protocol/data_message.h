// The Data message: one record of file data, in either direction. The
// record to send is the context's work buffer; a received record lands in
// recordData with a NUL behind it.
#pragma once

#include "wire/fields.h"

struct ZelContext;

int ZelEncodeData(ZelContext* context, wire::Writer& body);
int ZelDecodeData(ZelContext* context, wire::Reader& body);
