#pragma once

#include <QtGlobal>

// The 32-bit word rotated left by count modulo 32.
quint32 rotateLeft(quint32 value, quint32 count);
