// Which reply types each operation accepts after the request it last sent:
// bit t - 1 of ZelAcceptMask(operation, sentType) admits a message of type t.
#pragma once

#include <cstdint>

uint32_t ZelAcceptMask(unsigned operation, unsigned sentType);
