#include "engine/script/script_api.h"

#include <cstdio>

const cTarvelScriptValue* ScriptArgument(const tScriptFrame* frame, int32_t position)
{
    const tScriptValueArray& args = frame->arguments;
    if (args.count <= 0 || position < 0)
        return nullptr;
    return &args.data[position < args.count ? position : args.count - 1];
}

const char* ScriptArgString(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ScriptArgument(frame, position);
    return v ? v->string.c_str() : "";
}

int32_t ScriptArgInt(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ScriptArgument(frame, position);
    return v ? v->integer : 0;
}

float ScriptArgFloat(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ScriptArgument(frame, position);
    return v ? v->floatValue : 0.0f;
}

bool ScriptArgBool(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ScriptArgument(frame, position);
    return v && v->boolean != 0;
}

uint32_t ScriptArgObject(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ScriptArgument(frame, position);
    return v ? v->object : 0;
}

const char* ScriptArgClass(const tScriptFrame* frame, int32_t position)
{
    const cTarvelScriptValue* v = ScriptArgument(frame, position);
    return v ? v->className.c_str() : "";
}

void ScriptSetResultObject(tScriptFrame* frame, const char* className, uint32_t handle,
                           bool keepOnNull)
{
    frame->result.kind = kScriptResultObject;
    if (className)
        frame->result.className = className;
    if (handle != 0 || !keepOnNull)
        frame->result.object = handle;
}

int32_t ScriptFunctionNotBuilt(const char* name)
{
    std::fprintf(stderr, "Script function %s is not built yet.\n", name);
    return 0;
}
