#pragma once

// The process's own memory figures, from /proc/self (Linux).

#include <QtGlobal>

#include <fstream>
#include <malloc.h>
#include <string>

// Resident or peak resident memory of the process in bytes ("VmRSS", "VmHWM").
inline qint64 statusBytes(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::stoll(line.substr(prefix.size())) * 1024;
    }
    return 0;
}

// Makes the peak resident figure start again from the current one.
inline void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Gives freed heap back to the system and starts the peak again from here; returns
// the resident figure a later peak is measured against.
inline qint64 startMeasuringPeak()
{
    malloc_trim(0);
    const qint64 resident = statusBytes("VmRSS");
    resetPeak();
    return resident;
}
