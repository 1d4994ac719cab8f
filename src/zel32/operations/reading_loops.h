// The two reading loops of the handlers, and sending a run of request
// messages: read until a message of type T comes, read until the replies
// are no longer "more".
#pragma once

#include <initializer_list>

#include "wire/message_types.h"

struct ZelContext;

// Takes replies while ZelAwaitReply answers 2 (more) and the message was not
// of `type`. Returns the last result: -1, 1 or 2. Both loops give up (-1)
// once a ZelDrainDeadline runs out: the replies after the first must come
// within the receive limit.
int ZelReadUntil(ZelContext* context, wire::MessageType type);
// Takes replies while ZelAwaitReply answers 2. Returns -1 or 1.
int ZelReadUntilNotMore(ZelContext* context);
// Sends the messages of one request in order; -1 as soon as one cannot be
// sent, with those of them still in the send block taken back out.
int ZelSendAll(ZelContext* context, std::initializer_list<wire::MessageType> types);
