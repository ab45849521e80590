// libFuzzer target: the settings file's reader over arbitrary bytes. Whatever it reads must
// come back the same when written and read again: every key, value and line kept unread, in
// its place and order, and a second write gives the same text. A file of a version the
// reader does not know is only read, as the program never writes one.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry_tree.h"

using orvix::registry::Node;

namespace {

bool SameTree(const Node& a, const Node& b)
{
    std::vector<std::pair<const Node*, const Node*>> pending{{&a, &b}};
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        if (x->name != y->name || x->hasDefault != y->hasDefault || x->defaultValue != y->defaultValue
            || x->values != y->values || x->unread != y->unread || x->Children().size() != y->Children().size())
            return false;
        for (size_t i = 0; i < x->Children().size(); ++i)
            pending.emplace_back(x->Children()[i].get(), y->Children()[i].get());
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto first = orvix::registry::ParseText(std::string(reinterpret_cast<const char*>(data), size));
    if (!first.unknownVersion.empty())
        return 0;
    const std::string text = orvix::registry::ToText(first.root);
    const auto again = orvix::registry::ParseText(text);
    if (!again.unknownVersion.empty() || !SameTree(first.root, again.root) || again.unread.size() != first.unread.size()
        || orvix::registry::ToText(again.root) != text)
        abort(); // what this program writes, it must read back as it was
    return 0;
}
