// The document's side of the renderer's command link: packets that arrive unasked, and the
// graph-parameter definitions the renderer sends after it has loaded a scene.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <unordered_set>

#include "document/orvixdoc.h"
#include "io/deviceio.h"
#include "platform/runtime/clock.h"
#include "platform/text/numbers.h"
#include "platform/ui/ui.h"

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

// A definition's payload is two bytes not examined, then its text, which runs to the first
// NUL or to the payload's end (renderers send it either way). Only a payload too short for
// the two bytes is no definition: any other test would refuse some renderer's well-formed
// packets, and bytes out of step are told by the half packet they leave at the block's end.
constexpr int kDefinitionSkip = 2;

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
    // Events are served while the block comes, but nothing may switch the experiment or load
    // another scene meanwhile; the run flag says a scene is loading, which also keeps the
    // experiment passes and a test run's start away.
    CWaitMark pending(definitionsPending_);
    io->SetAsyncMode(false);
    SetRunFlag(-1);
    // Read whole before the table changes, so that what is served meanwhile never meets a
    // half-built table.
    std::vector<std::pair<std::string, std::string>> definitions;
    const uint32_t t0 = TickMs();
    while (static_cast<int>(definitions.size()) < count) {
        // What has come is read first, also once the deadline has passed.
        if (const uint8_t* packet = io->ReceivePacket(0, true)) {
            const int size = packet[1];
            if (size < kDefinitionSkip) {
                io->CloseOutOfStep(Format("The renderer sent a packet of type %d with a payload of length %d, "
                                          "too short for a graph parameter definition",
                                          packet[0], size));
                break;
            }
            const char* start = reinterpret_cast<const char*>(packet + 2 + kDefinitionSkip);
            std::string text(start, strnlen(start, static_cast<size_t>(size - kDefinitionSkip)));
            auto& [name, value] = definitions.emplace_back();
            SplitDefinition(text, name, value);
            continue;
        }
        uint32_t elapsed = TickMs() - t0;
        if (!io->IsRendererRunning() || elapsed >= kDefinitionBlockMs)
            break;
        // A request to quit ends the block too; it is made again for the loop outside.
        if (!PumpMessages(static_cast<int>(std::min<uint32_t>(kPumpSliceMs, kDefinitionBlockMs - elapsed))))
            break;
    }

    // A definition begun and not finished: its rest may still come, and would be read as
    // the header of the next packet.
    if (io->IsRendererRunning() && io->HasHalfPacket())
        io->CloseOutOfStep("The renderer's graph parameter definitions end in the middle of a packet");

    const int received = static_cast<int>(definitions.size());
    // Keep what came, and only that: no slot without a definition.
    graph_.Resize(received);
    graph_.ClearIndex();
    std::unordered_set<std::string> seen;
    int duplicates = 0;
    for (int i = 0; i < received; ++i) {
        const auto& [name, value] = definitions[static_cast<size_t>(i)];
        CParam* param = graph_.At(i);
        param->GetName() = name;
        *param = value.c_str();
        if (!name.empty())
            graph_.Map(name, i);
        std::string upper = name;
        for (char& c : upper)
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        if (name != "." && !seen.insert(upper).second)
            ++duplicates;
    }
    // The parameter stays; the box is shown once per repeated name.
    for (int i = 0; i < duplicates; ++i)
        MessageBox("Duplicate graph parameter find!");
    if (received < count)
        AddLogLine(Format("Graph parameter definitions incomplete: %d of %d received.", received, count));
    // Cut short: paused while the renderer is up, idle when the link went down meanwhile.
    if (io->IsRendererRunning())
        io->SetAsyncMode(true);
    SetRunFlag(received < count ? 0 : 1);
}

} // namespace orvix
