// Reads effect source text at the declaration level into plain records:
// parameters, annotations, samplers, techniques, passes and their state
// assignments. Function bodies and structure definitions are skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/d3dx9/d3dx9_effect.h"

namespace platform::d3dx9 {

// A literal value: numbers flattened in order, or a string.
struct Literal {
  std::vector<float> numbers;
  std::optional<std::string> text;
};

struct Annotation {
  D3DXPARAMETER_TYPE type = D3DXPT_VOID;
  D3DXPARAMETER_CLASS klass = D3DXPC_SCALAR;
  UINT rows = 1, columns = 1;
  std::string name;
  Literal value;
};

// A state assignment: `Name[index] = value;`.
struct StateAssignment {
  std::string name;  // as written
  int index = 0;
  std::string value;  // the value's text, whitespace-trimmed
  std::string compileTarget;  // "vs_2_0" and the like for `compile` values
};

struct ParsedParameter {
  std::string name;
  std::string semantic;
  D3DXPARAMETER_CLASS klass = D3DXPC_SCALAR;
  D3DXPARAMETER_TYPE type = D3DXPT_FLOAT;
  UINT rows = 1, columns = 1, elements = 0;
  bool shared = false;
  std::vector<Annotation> annotations;
  std::optional<Literal> initialValue;
  std::vector<StateAssignment> samplerStates;  // sampler_state { ... }
};

struct ParsedPass {
  std::string name;
  std::vector<Annotation> annotations;
  std::vector<StateAssignment> states;
};

struct ParsedTechnique {
  std::string name;
  std::vector<Annotation> annotations;
  std::vector<ParsedPass> passes;
};

struct ParsedEffect {
  std::vector<ParsedParameter> parameters;
  std::vector<ParsedTechnique> techniques;
};

// False with a message "(line): error: ..." when the text is not an effect.
bool ParseEffect(std::string_view source, ParsedEffect* effect, std::string* error);

}  // namespace platform::d3dx9
