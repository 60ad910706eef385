#pragma once

#include <functional>

class TSettings;

// Stores settings a test can rely on - nothing saves, minimises, moves or reopens on
// its own - after adjust has changed what the test needs.
void StoreQuietSettings(const std::function<void(TSettings &)> &adjust = {});
