// Small helpers shared by the tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tests/common/tempdir.h"

namespace orvix_test {

// Bytes written as hex pairs, e.g. "02 48 30".
std::vector<uint8_t> Hex(const std::string& text);
std::string ToHex(const std::vector<uint8_t>& bytes);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

// The process id of a process that has ended (a child that exited at once).
int EndedProcessId();

} // namespace orvix_test
