// The single-request commands: Delete, Md, Rd, Submit and Rename (one
// request, then replies until the peer's Access Complete), Print and
// Protection (read or set; a short fixed exchange), Abort (ends the remote
// access in progress) and Cwd (nothing to do). Each checks the peer
// capability it needs before anything is sent.
#pragma once

struct ZelContext;

// Delete File, Md, Rd, Submit File and Rename File, told apart by the
// running operation.
int ZelCommandHandler(ZelContext* context);
int ZelPrintHandler(ZelContext* context);
int ZelProtectionHandler(ZelContext* context);
int ZelAbortHandler(ZelContext* context);
int ZelCwdHandler(ZelContext* context);
