// Small helpers shared by the tests.
#pragma once
#include <cstdint>
#include <functional>
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

// Another user of the machine (uid and gid 65534, no other groups), for cases of a machine
// shared with others; only root can act as them.
constexpr unsigned kOtherUser = 65534;
bool CanActAsOtherUser();
// Runs `body` as that user in a child process and returns what it returned.
bool AsOtherUser(const std::function<bool()>& body);

} // namespace orvix_test
