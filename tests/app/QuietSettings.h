#pragma once

#include <functional>

class QTemporaryDir;
class TSettings;

// Stores settings a test can rely on - nothing saves, minimises, moves or reopens on
// its own - after adjust has changed what the test needs.
void StoreQuietSettings(const std::function<void(TSettings &)> &adjust = {});

// Points the configuration, data and state folders (XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_STATE_HOME) into dir.
void UseTemporaryXdgFolders(const QTemporaryDir &dir);
