// The registry file parser on untrusted bytes. Whatever parses must serialise to a
// file that parses to the same keys and values.
#include <cstdint>
#include <cstdlib>

#include "settings/RegistryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    TRegistryTree tree;
    try {
        tree = TRegistryTree::parse(bytes);
    } catch (const ERegistryException &) {
        return 0;
    }
    const TRegistryTree back = TRegistryTree::parse(tree.serialise());
    if (back.keys().size() != tree.keys().size())
        std::abort();
    for (size_t k = 0; k < tree.keys().size(); ++k) {
        const auto &a = tree.keys()[k];
        const auto &b = back.keys()[k];
        if (a.path != b.path || a.values.size() != b.values.size())
            std::abort();
        for (qsizetype v = 0; v < a.values.size(); ++v) {
            if (a.values[v].name != b.values[v].name || a.values[v].type != b.values[v].type
                || a.values[v].data != b.values[v].data)
                std::abort();
        }
    }
    return 0;
}
