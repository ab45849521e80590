// Small helpers shared by the tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace orvix_test {

// A fresh folder (mode 0700) under the system temp folder.
std::string MakeTempDir(const char* prefix);

// Bytes written as hex pairs, e.g. "02 48 30".
std::vector<uint8_t> Hex(const std::string& text);
std::string ToHex(const std::vector<uint8_t>& bytes);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

} // namespace orvix_test
