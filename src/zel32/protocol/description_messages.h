// The short messages that complete a file's description: Date and Time (its
// dates), Protection (owner and access codes), Name (a file, directory or
// volume name) and CDA Semantics (two texts about the data). The library
// sends Date and Time on an upload, Protection when setting a file's
// protection and Name on a rename; the decoders read the peer's replies into
// the context.
#pragma once

#include <cstdint>
#include <ctime>

#include "wire/fields.h"
#include "zel32/protocol/context.h"

// The four access fields of a Protection message, in the order they travel
// (PROTSYS, PROTOWN, PROTGRP, PROTWLD): the menu bit, where the decoder keeps
// the field, and the field of the caller's RfaProtectionRecord it goes with.
struct ZelProtectionAccessField {
    uint8_t bit;
    uint8_t (ZelProtection::*received)[2];
    uint32_t RfaProtectionRecord::*record;
};

inline constexpr ZelProtectionAccessField kProtectionAccessFields[] = {
    {RFA_PROT_SYSTEM, &ZelProtection::protSys, &RfaProtectionRecord::system},
    {RFA_PROT_OWNER_ACCESS, &ZelProtection::protOwn, &RfaProtectionRecord::ownerAccess},
    {RFA_PROT_GROUP, &ZelProtection::protGrp, &RfaProtectionRecord::group},
    {RFA_PROT_WORLD, &ZelProtection::protWld, &RfaProtectionRecord::world},
};

// Date and Time: DATMENU 0x03, then CDT and RDT of ZelSentDates(), 37 bytes.
int ZelEncodeDates(ZelContext* context, wire::Writer& body);
int ZelDecodeDates(ZelContext* context, wire::Reader& body);

// Stamps the next uploaded file: CDT and RDT of ZelSentDates() both become
// the UTC time `utc` as "DD-MMM-YY HH:MM:SS" (e.g. "04-NOV-26 03:57:26").
void ZelStampUploadTime(const std::tm& utc);

// Protection: from the caller's RfaProtectionRecord at link->protection.
// Fails with error 4 (nothing written) for an owner text above 40 characters
// or a missing record.
int ZelEncodeProtection(ZelContext* context, wire::Writer& body);
int ZelDecodeProtection(ZelContext* context, wire::Reader& body);

// Name: only during a Rename, NAMETYPE 0x02 and the new name (the link's
// name2); any other operation fails with error 1 and writes nothing.
int ZelEncodeName(ZelContext* context, wire::Writer& body);
int ZelDecodeName(ZelContext* context, wire::Reader& body);

// CDA Semantics: the library sends it with an empty body; the decoder keeps
// the stored and accessed texts and their counts.
int ZelDecodeSemantics(ZelContext* context, wire::Reader& body);
