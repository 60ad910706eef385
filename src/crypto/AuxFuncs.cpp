#include "crypto/AuxFuncs.h"

#include <bit>

quint32 rotateLeft(quint32 value, quint32 count)
{
    // std::rotl takes the count modulo the width itself; the mask keeps the
    // conversion to int from ever seeing a large count.
    return std::rotl(value, static_cast<int>(count & 31u));
}
