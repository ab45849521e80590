// The document's side of the renderer's command link: packets that arrive unasked, and the
// graph-parameter definitions the renderer sends after it has loaded a scene.
#include <cctype>
#include <cstring>
#include <unordered_set>

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "platform/numbers.h"
#include "platform/ui.h"

namespace orvix {

namespace {

// A definition text: a name up to the first white space, then after white space the value
// up to the first '|'. Missing parts are empty.
void SplitDefinition(const std::string& text, std::string& name, std::string& value)
{
    size_t i = 0;
    auto blank = [&](size_t k) { return isspace(static_cast<unsigned char>(text[k])) != 0; };
    while (i < text.size() && blank(i))
        ++i;
    size_t start = i;
    while (i < text.size() && !blank(i))
        ++i;
    name = text.substr(start, i - start);
    while (i < text.size() && blank(i))
        ++i;
    size_t bar = text.find('|', i);
    value = text.substr(i, bar == std::string::npos ? std::string::npos : bar - i);
}

} // namespace

bool COrvixDoc::OnRendererReceive()
{
    CDeviceIO* io = Devices();
    const uint8_t* packet = io ? io->ReceivePacket() : nullptr;
    if (!packet)
        return false;
    if (packet[0] == PKT_DEFINITIONS)
        ParseGraphParams(packet[1] > 0 ? packet[2] : 0);
    return true;
}

void COrvixDoc::ParseGraphParams(int count)
{
    CDeviceIO* io = Devices();
    if (!io)
        return;
    io->SetAsyncMode(false);
    graph_.Resize(count);
    graph_.ClearIndex();
    std::unordered_set<std::string> seen;
    int received = 0;
    for (int i = 0; i < count; ++i) {
        // Bounded: a renderer that goes away or falls silent ends the block.
        const uint8_t* packet = io->ReceivePacket(kDefinitionWaitMs);
        if (!packet)
            break;
        int length = packet[1];
        std::string text;
        if (length > 2) {
            const char* start = reinterpret_cast<const char*>(packet + 4);
            text.assign(start, strnlen(start, static_cast<size_t>(length - 2)));
        }
        std::string name, value;
        SplitDefinition(text, name, value);
        CParam* param = graph_.At(i);
        param->GetName() = name;
        *param = value.c_str();
        if (!name.empty())
            graph_.Map(name, i);
        std::string upper = name;
        for (char& c : upper)
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        if (name != "." && !seen.insert(upper).second)
            MessageBox("Duplicate graph parameter find!");
        ++received;
    }
    if (received < count) {
        // Keep what came, and only that: no slot without a definition.
        graph_.Resize(received);
        AddLogLine(Format("Graph parameter definitions incomplete: %d of %d received.", received, count));
        if (io->IsRendererRunning()) {
            io->SetAsyncMode(true);
            SetRunFlag(0);
        }
        return;
    }
    io->SetAsyncMode(true);
    SetRunFlag(1);
}

} // namespace orvix
