// Shared between the sources of the DxDiag layer; not part of its interface.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "platform/dxdiag/testing.h"

namespace platform::dxdiag {

// The tree a test set, when there is one; an unreadable tree file is
// reported as `ok` false.
std::optional<testing::DxDiagNode> LoadTestTree(bool* ok);
// What CoCreateInstance of the provider returns (S_OK normally).
HRESULT ProviderFailure();
extern std::atomic<int> g_live;

std::u16string Widen(const std::string& utf8);

}  // namespace platform::dxdiag
