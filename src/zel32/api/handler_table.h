// The handler table: the handler of each operation code, or none.
#pragma once

struct ZelContext;

// A handler runs one operation on the link: 1 on success, -1 on failure,
// with the outcome recorded on the link.
using ZelHandler = int (*)(ZelContext*);

// The handler of an operation code 0 to 19, or null when it has none.
ZelHandler ZelHandlerFor(unsigned operation);
