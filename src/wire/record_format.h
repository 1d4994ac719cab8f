// The record format (RFM) and record attribute (RAT) values of the
// Attributes message that decide how records become text and bytes: which
// records carry their own line ends, and which carriage control they use.
#pragma once

#include <cstdint>

namespace wire {

// RFM: how the records of a file are laid out.
constexpr uint8_t kRfmFixed = 1;                // fixed length (MRS bytes)
constexpr uint8_t kRfmVariable = 2;             // variable length
constexpr uint8_t kRfmLineFeedEnded = 5;        // each record ends in its own line feed
constexpr uint8_t kRfmCarriageReturnEnded = 6;  // each record ends in its own carriage return

// RAT bits: the carriage control of the records.
constexpr uint8_t kRatFortran = 0x01;         // the first data byte is a Fortran control character
constexpr uint8_t kRatImpliedLineEnd = 0x02;  // each record is a line
constexpr uint8_t kRatPrintFormat = 0x04;     // each record carries a print prefix and postfix

}  // namespace wire
