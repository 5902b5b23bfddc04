#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Writes script images from a small text form. One statement per line;
// ";" starts a comment.
//
//   global <name> <kind> [scope=<n>] [class=<name>]
//       kinds: int float string bool object ref result, or a number
//   import <name> <argument count> <result kind>   (result kind "none" = 0)
//   function <name>          the function starts at the next instruction
//   entry <u32> <u32>        an 8-byte entry record, kept as written
//   <label>:
//   <mnemonic> [operands]
//
// Mnemonics and their operands:
//   push <typed>  load <typed>  inc <typed>  dec <typed>
//   add store neg mul div pushh poph test or and xor not testnn ret eq end
//   jmp <label>  jz <label> (jump when false)  jnz <label> (jump when true)
//   callg <global> <import>  call <import>
//   .byte <n>...             raw code bytes
// Typed operands: int <n> | float <x> | string "<text>" | bool <true|false>
//   | object <global> | result <global> | ref <global> | kind <k> <u32>
// Globals and imports are named or given by index. Strings take the escapes
// \" \\ \n \t and \xHH. The end marker 0xFF is appended to the code.
struct tScriptAssembly {
    std::vector<uint8_t> image;
    std::string error; // "line N: ..." when assembly failed
    bool ok() const { return error.empty(); }
};

tScriptAssembly AssembleScript(std::string_view source);

// The same, but a failure throws std::runtime_error with the message; for
// tests and tools that build known-good images.
std::vector<uint8_t> AssembleScriptOrThrow(std::string_view source);

// An actor script: the actor's "cActor" object named name, then body.
std::vector<uint8_t> AssembleActorScript(std::string_view name, std::string_view body = "ret\n");

// Opcodes of the instruction stream.
namespace script_op {
constexpr uint8_t kEnd = 0xFF, kPush = 1, kLoad = 2, kAdd = 3, kStore = 4, kNeg = 6, kMul = 7,
                  kDiv = 8, kPushHeld = 9, kPopHeld = 10, kTest = 11, kOr = 12, kAnd = 13,
                  kXor = 14, kNot = 15, kTestNotNegative = 16, kInc = 17, kDec = 18, kJump = 19,
                  kJumpFalse = 20, kReturn = 21, kJumpTrue = 22, kCallGlobal = 23, kEqual = 24,
                  kCall = 25;
}
