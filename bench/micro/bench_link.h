// A link record and its protocol context without a connection, for the
// microbenchmarks of the encoders, decoders and record conversion: set up
// as toward zeld (length fields, two-byte lengths, VERNUM 7, ECONUM 2), the
// running operation a copy.
#pragma once

#include <cstring>
#include <stdexcept>

#include "zel32/api/context_lifecycle.h"
#include "zel32/api/link.h"
#include "zel32/protocol/context.h"

namespace zelbench {

class BenchLink {
public:
    BenchLink() {
        link_.handle = 1;
        std::strcpy(link_.nodeName, "node");
        std::strcpy(link_.status.name1, "[DIRECTORY.SUB]REMOTE-FILE.TXT;1");
        std::strcpy(link_.status.name2, "/tmp/local-file.txt");
        context_ = RfaCreateContext(&link_);
        if (context_ == nullptr) throw std::runtime_error("no context");
        context_->state = kStateOpen;
        context_->operation = kOpCopy;
        context_->peerBlocking = true;
        context_->peerLen256 = true;
        context_->peerVernum = 7;
        context_->peerEconum = 2;
    }
    ~BenchLink() {
        RfaReleaseContextBuffers(context_);
        RfaReleaseContext(context_);
    }
    BenchLink(const BenchLink&) = delete;
    BenchLink& operator=(const BenchLink&) = delete;

    ZelContext* operator->() { return context_; }
    ZelContext* get() { return context_; }

private:
    RfaLink link_{};
    ZelContext* context_ = nullptr;
};

}  // namespace zelbench
