// Test controls of the DxDiag layer: the tree the provider reports and a
// failing provider. Both are kept under the platform root (the tree in
// "dxdiag/tree.txt", the switches in "testing.ini"), so every module of this
// process and any child see what the test set.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/dxdiag/dxdiag.h"

namespace platform::testing {

struct DxDiagValue {
  VARTYPE type = VT_EMPTY;  // VT_UI4, VT_I4, VT_BOOL or VT_BSTR
  uint32_t u32 = 0;
  int32_t i32 = 0;
  bool boolean = false;
  std::string text;  // UTF-8
};

// A container: its properties in order and its child containers.
struct DxDiagNode {
  std::string name;
  std::vector<std::pair<std::string, DxDiagValue>> props;
  std::vector<DxDiagNode> children;

  // The child of that name, added when missing. A dotted name walks down.
  DxDiagNode& Child(const std::string& childName);
  const DxDiagNode* Find(const std::string& childName) const;
  const DxDiagValue* Prop(const std::string& propName) const;
  // Add or replace a property.
  DxDiagNode& SetU32(const std::string& propName, uint32_t value);
  DxDiagNode& SetI32(const std::string& propName, int32_t value);
  DxDiagNode& SetBool(const std::string& propName, bool value);
  DxDiagNode& SetString(const std::string& propName, const std::string& value);
  void Remove(const std::string& propName);
};

// A record with every property a provider offers for its kind, each empty,
// zero or false: "DisplayDevice", "SoundDevice", "SoundCaptureDevice",
// "LogicalDisk" (with its empty "Drivers" list; a display device gets its
// empty "DXVADeinterlaceCaps"). Any other kind gives an empty node.
DxDiagNode EmptyDxDiagRecord(const std::string& kind, const std::string& name);
// What the provider reports of this machine when no test set a tree.
DxDiagNode MachineDxDiagTree();
// The provider reports this tree from now on (the root's own name is not
// used).
void SetDxDiagTree(const DxDiagNode& root);
// Back to the machine's tree.
void ClearDxDiagTree();
// CoCreateInstance of the provider returns this code (S_OK: it works).
void FailDxDiagProvider(HRESULT result);
// Providers, containers and BSTRs not yet freed.
int LiveDxDiagObjects();

}  // namespace platform::testing
