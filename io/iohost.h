// IIoHost: what the I/O layer needs of the program above it, which it does not know by
// name: where its log lines go, the behaviour settings it reads, and who reads the
// renderer's packets that arrive unasked. The document implements it.
#pragma once
#include <string>

#include "model/param.h"

namespace orvix {

class IIoHost {
public:
    virtual ~IIoHost() = default;
    virtual void AddLogLine(const std::string& text) = 0;
    // The behaviour parameter of that name; added with the default when missing.
    virtual CParam& GetBehavParam(const char* name, CParam& def) = 0;
    // Data wait on the renderer's command link; false when no whole packet was there.
    virtual bool OnRendererReceive() = 0;
};

} // namespace orvix
