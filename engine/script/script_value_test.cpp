#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "engine/script/script_api.h"
#include "engine/script/script_handles.h"
#include "engine/script/script_value.h"
#include "engine/script/script_test_support.h"

namespace {

using ScriptValueTest = ScriptTestBase;

cTarvelScriptValue Make(uint32_t kind)
{
    cTarvelScriptValue v;
    v.kind = kind;
    v.object = 77;
    return v;
}

TEST_F(ScriptValueTest, NormalizeMakesEveryRepresentationAgree)
{
    struct tCase {
        const char* what;
        cTarvelScriptValue in;
        int32_t integer;
        float floatValue;
        bool boolean;
        const char* string;
    };
    cTarvelScriptValue i258 = Make(kScriptInteger);
    i258.integer = 258;
    cTarvelScriptValue f275 = Make(kScriptFloat);
    f275.floatValue = 2.75f;
    cTarvelScriptValue fNeg = Make(kScriptFloat);
    fNeg.floatValue = -0.5f;
    cTarvelScriptValue fOne = Make(kScriptFloat);
    fOne.floatValue = 1.0f;
    cTarvelScriptValue sTrueCap = Make(kScriptString);
    sTrueCap.string = "True";
    cTarvelScriptValue sTrue = Make(kScriptString);
    sTrue.string = "true";
    sTrue.integer = 9;
    cTarvelScriptValue s42 = Make(kScriptString);
    s42.string = "42";
    cTarvelScriptValue bTrue = Make(kScriptBoolean);
    bTrue.boolean = 1;
    cTarvelScriptValue bFalse = Make(kScriptBoolean);
    bFalse.integer = 5;

    const tCase cases[] = {
        {"int 258", i258, 258, 258.0f, true, "258"},
        {"float 2.75", f275, 2, 2.75f, true, "2.75"},
        {"float -0.5", fNeg, 0, -0.5f, true, "-0.5"},
        {"float 1.0", fOne, 1, 1.0f, true, "1."},
        {"string True", sTrueCap, 0, 0.0f, false, "True"},
        {"string true", sTrue, 0, 0.0f, true, "true"},
        {"string 42", s42, 0, 0.0f, false, "42"},
        {"bool true", bTrue, 1, 1.0f, true, "true"},
        {"bool false", bFalse, 0, 0.0f, false, "false"},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.what);
        cTarvelScriptValue v = Normalize(c.in);
        EXPECT_EQ(v.kind, c.in.kind);
        EXPECT_EQ(v.integer, c.integer);
        EXPECT_EQ(v.floatValue, c.floatValue);
        EXPECT_EQ(v.boolean != 0, c.boolean);
        EXPECT_STREQ(v.string.c_str(), c.string);
        EXPECT_EQ(v.object, 0u) << "kinds 1 to 4 drop the object";
    }
}

TEST_F(ScriptValueTest, NormalizeLeavesObjectKindsAndRejectsUnrepresentableFloats)
{
    const uint32_t kinds[] = {kScriptObject, kScriptReference, kScriptResultObject, 9u};
    for (uint32_t kind : kinds) {
        cTarvelScriptValue v = Make(kind);
        v.integer = 3;
        v.string = "keep";
        v.Normalize();
        EXPECT_EQ(v.object, 77u);
        EXPECT_EQ(v.integer, 3);
        EXPECT_STREQ(v.string.c_str(), "keep");
    }
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), 3e9f, -3e9f,
                         std::numeric_limits<float>::infinity()};
    for (float f : bad) {
        cTarvelScriptValue v = cTarvelScriptValue::FromFloat(f);
        EXPECT_EQ(v.integer, INT32_MIN) << f;
        EXPECT_TRUE(v.boolean) << "NaN and infinities are non-zero";
    }
    EXPECT_EQ(ScriptFloatToInt(-2147483648.0f), INT32_MIN);
    EXPECT_EQ(ScriptFloatToInt(2147483520.0f), 2147483520);
}

std::vector<uint8_t> Above(const uint8_t* stack, uint32_t from, uint32_t to)
{
    return std::vector<uint8_t>(stack + from + 1, stack + to + 1);
}

TEST_F(ScriptValueTest, ByteBlockIsOwnedAndCopiedWithTheValue)
{
    const uint8_t data[] = {1, 2, 3, 250};
    cTarvelScriptValue a = cTarvelScriptValue::FromBytes(data, sizeof data);
    EXPECT_EQ(a.kind, kScriptBytes);
    EXPECT_EQ(a.integer, 4);
    cTarvelScriptValue b = a;
    b.bytes[0] = 9;
    EXPECT_EQ(a.bytes, (std::vector<uint8_t>{1, 2, 3, 250}));
    EXPECT_EQ(b.bytes, (std::vector<uint8_t>{9, 2, 3, 250}));
    a.Normalize();  // not a number kind: the block stays
    EXPECT_EQ(a.bytes.size(), 4u);
    EXPECT_EQ(cTarvelScriptValue::FromBytes(nullptr, 3).bytes, (std::vector<uint8_t>(3, 0)));
}

TEST_F(ScriptValueTest, StackEncodingOfEachKind)
{
    std::vector<uint8_t> stack(kScriptStackSize);
    uint8_t* s = stack.data();
    uint32_t sp = 0;

    ASSERT_TRUE(PushScriptValue(s, sp, cTarvelScriptValue::FromInt(258)));
    EXPECT_EQ(Above(s, 0, sp), (std::vector<uint8_t>{0x00, 0x00, 0x01, 0x02, 0x01}));
    EXPECT_EQ(s[0], 0) << "the block's first byte is never written";

    uint32_t mark = sp;
    ASSERT_TRUE(PushScriptValue(s, sp, cTarvelScriptValue::FromString("ab")));
    EXPECT_EQ(Above(s, mark, sp), (std::vector<uint8_t>{0x00, 0x62, 0x61, 0x03}));

    mark = sp;
    ASSERT_TRUE(PushScriptValue(s, sp, cTarvelScriptValue::FromFloat(1.0f)));
    EXPECT_EQ(Above(s, mark, sp), (std::vector<uint8_t>{0x3F, 0x80, 0x00, 0x00, 0x02}));

    mark = sp;
    cTarvelScriptValue b = cTarvelScriptValue::FromBool(true);
    b.boolean = 7; // any non-zero boolean is stored as 1
    ASSERT_TRUE(PushScriptValue(s, sp, b));
    EXPECT_EQ(Above(s, mark, sp), (std::vector<uint8_t>{0, 0, 0, 1, 0x04}));

    mark = sp;
    cTarvelScriptValue odd;
    odd.kind = 9;
    ASSERT_TRUE(PushScriptValue(s, sp, odd));
    EXPECT_EQ(Above(s, mark, sp), (std::vector<uint8_t>{0, 0, 0, 9, 9})) << "payload = kind";

    cTarvelScriptValue out;
    ASSERT_TRUE(PopScriptValue(s, sp, out, nullptr, 0));
    EXPECT_EQ(out.kind, 9u);
    ASSERT_TRUE(PopScriptValue(s, sp, out, nullptr, 0));
    EXPECT_EQ(out.kind, kScriptBoolean);
    EXPECT_EQ(out.boolean, 1);
    EXPECT_STREQ(out.string.c_str(), "true");
    ASSERT_TRUE(PopScriptValue(s, sp, out, nullptr, 0));
    EXPECT_EQ(out.floatValue, 1.0f);
    EXPECT_EQ(out.integer, 1);
    ASSERT_TRUE(PopScriptValue(s, sp, out, nullptr, 0));
    EXPECT_EQ(out.kind, kScriptString);
    EXPECT_STREQ(out.string.c_str(), "ab");
    ASSERT_TRUE(PopScriptValue(s, sp, out, nullptr, 0));
    EXPECT_EQ(out.integer, 258);
    EXPECT_STREQ(out.string.c_str(), "258");
    EXPECT_EQ(sp, 0u);
}

TEST_F(ScriptValueTest, ObjectsAndReferencesSurviveThePushAndPop)
{
    std::vector<uint8_t> stack(kScriptStackSize);
    uint32_t sp = 0;
    cTarvelScriptValue obj;
    obj.kind = kScriptResultObject;
    obj.name = "Door";
    obj.className = "cHotspot";
    obj.object = 0xA1B2C3D4;
    obj.scope = 2;
    cTarvelScriptValue ref;
    ref.kind = kScriptReference;
    ref.integer = 1;
    ASSERT_TRUE(PushScriptValue(stack.data(), sp, obj));
    ASSERT_TRUE(PushScriptValue(stack.data(), sp, ref));

    cTarvelScriptValue globals[2];
    globals[1].name = "Counter";
    cTarvelScriptValue out;
    ASSERT_TRUE(PopScriptValue(stack.data(), sp, out, globals, 2));
    EXPECT_EQ(out.kind, kScriptReference);
    EXPECT_EQ(out.integer, 1);
    EXPECT_STREQ(out.name.c_str(), "Counter");
    ASSERT_TRUE(PopScriptValue(stack.data(), sp, out, globals, 2));
    EXPECT_EQ(out.kind, kScriptResultObject);
    EXPECT_STREQ(out.name.c_str(), "Door");
    EXPECT_STREQ(out.className.c_str(), "cHotspot");
    EXPECT_EQ(out.object, 0xA1B2C3D4u);
    EXPECT_EQ(out.scope, 0) << "a popped value has scope 0";
    EXPECT_EQ(sp, 0u);
}

TEST_F(ScriptValueTest, StackRefusesOverflowAndUnderflow)
{
    std::vector<uint8_t> stack(kScriptStackSize);
    uint32_t sp = kScriptStackSize - 5; // room for exactly four bytes
    EXPECT_FALSE(PushScriptValue(stack.data(), sp, cTarvelScriptValue::FromInt(1)));
    EXPECT_EQ(sp, kScriptStackSize - 5u) << "nothing written";
    sp = kScriptStackSize - 6;
    EXPECT_TRUE(PushScriptValue(stack.data(), sp, cTarvelScriptValue::FromInt(1)));
    EXPECT_EQ(sp, kScriptStackSize - 1);

    cTarvelScriptValue out;
    sp = 0;
    EXPECT_FALSE(PopScriptValue(stack.data(), sp, out, nullptr, 0));
    // A string with no zero byte below it, and a payload cut short.
    std::fill(stack.begin(), stack.end(), 'x');
    stack[3] = kScriptString;
    sp = 3;
    EXPECT_FALSE(PopScriptValue(stack.data(), sp, out, nullptr, 0));
    stack[3] = kScriptInteger;
    sp = 3;
    EXPECT_FALSE(PopScriptValue(stack.data(), sp, out, nullptr, 0));
    // A reference to a global that does not exist pops with an empty name.
    sp = 0;
    cTarvelScriptValue ref;
    ref.kind = kScriptReference;
    ref.integer = 40;
    ASSERT_TRUE(PushScriptValue(stack.data(), sp, ref));
    ASSERT_TRUE(PopScriptValue(stack.data(), sp, out, nullptr, 0));
    EXPECT_STREQ(out.name.c_str(), "");
}

TEST_F(ScriptValueTest, ArgumentsRepeatTheLastOneAndReadOneFixedField)
{
    tScriptFrame frame;
    EXPECT_EQ(ScriptArgument(&frame, 0), nullptr);
    EXPECT_FALSE(ScriptHasArguments(&frame));
    EXPECT_STREQ(ScriptArgString(&frame, 0), "");

    frame.arguments.Add(cTarvelScriptValue::FromString("7"));
    frame.arguments.Add(cTarvelScriptValue::FromInt(3));
    frame.arguments.Add(cTarvelScriptValue::FromFloat(2.5f));
    EXPECT_EQ(ScriptArgument(&frame, 5), &frame.arguments.data[2]);
    EXPECT_EQ(ScriptArgFloat(&frame, 4), 2.5f);
    EXPECT_EQ(ScriptArgInt(&frame, 0), 0) << "the string \"7\" is not converted";
    EXPECT_STREQ(ScriptArgString(&frame, 1), "3");
    EXPECT_EQ(ScriptArgFloat(&frame, 1), 3.0f);
    EXPECT_TRUE(ScriptArgBool(&frame, 1));
}

TEST_F(ScriptValueTest, ObjectResultsKeepTheirFieldWhenNothingWasFound)
{
    tScriptFrame frame;
    frame.result.kind = kScriptResultObject;
    frame.result.object = 5;
    ScriptSetResultObject(&frame, "cView", 0);
    EXPECT_EQ(frame.result.object, 5u);
    EXPECT_STREQ(frame.result.className.c_str(), "cView");
    ScriptSetResultObject(&frame, "cMesh", 9);
    EXPECT_EQ(frame.result.object, 9u);
    EXPECT_EQ(frame.result.kind, kScriptResultObject);
}

TEST_F(ScriptValueTest, HandlesNameTypeAndGeneration)
{
    cTarvelScriptHandles handles;
    int a = 0, b = 0;
    uint32_t ha = handles.Bind(&a, eScriptObjectType::View);
    uint32_t hb = handles.Bind(&b, eScriptObjectType::View);
    EXPECT_NE(ha, 0u);
    EXPECT_NE(ha, hb);
    EXPECT_EQ(handles.Bind(&a, eScriptObjectType::View), ha) << "one handle per object";
    EXPECT_EQ(handles.Get<int>(ha, eScriptObjectType::View), &a);
    EXPECT_EQ(handles.Get<int>(ha, eScriptObjectType::Actor), nullptr) << "a view is no actor";
    EXPECT_EQ(handles.Bind(nullptr, eScriptObjectType::View), 0u);
    EXPECT_EQ(handles.Resolve(0, eScriptObjectType::None), nullptr);

    handles.Release(&a);
    EXPECT_EQ(handles.Get<int>(ha, eScriptObjectType::View), nullptr) << "stale after release";
    // The slot is reused with a new generation; the old handle stays stale.
    int c = 0;
    uint32_t hc = handles.Bind(&c, eScriptObjectType::View);
    EXPECT_NE(hc, ha);
    EXPECT_EQ(handles.Get<int>(hc, eScriptObjectType::View), &c);
    EXPECT_EQ(handles.Get<int>(ha, eScriptObjectType::View), nullptr);
    // Forged handles: slot out of range, type out of range.
    EXPECT_EQ(handles.Resolve(0x0000FFFF, eScriptObjectType::None), nullptr);
    EXPECT_EQ(handles.Resolve(0xFFFFFFFF, eScriptObjectType::View), nullptr);
    handles.Clear();
    EXPECT_EQ(handles.Get<int>(hb, eScriptObjectType::View), nullptr);
    EXPECT_EQ(handles.LiveCount(), 0);
}

struct tStandInMobile {
    int id;
};
struct tStandInActor {
    tStandInMobile* mMobile;
};

TEST_F(ScriptValueTest, MobileRuleByClassName)
{
    tStandInMobile mobile{1}, actorMobile{2};
    tStandInActor actor{&actorMobile}, bare{nullptr};
    uint32_t hMobile = gScriptHandles.Bind(&mobile, eScriptObjectType::Mobile);
    uint32_t hActor = gScriptHandles.Bind(&actor, eScriptObjectType::Actor);
    uint32_t hBare = gScriptHandles.Bind(&bare, eScriptObjectType::Actor);
    struct tCase {
        const char* className;
        uint32_t handle;
        tStandInMobile* expected;
    } cases[] = {
        {"cMobile", hMobile, &mobile}, {"cActor", hActor, &actorMobile},
        {"cNPC", hActor, &actorMobile}, {"cActor", hBare, nullptr},
        {"cMobile", hActor, nullptr},   {"cView", hMobile, nullptr},
        {"cmobile", hMobile, nullptr},  {"cActor", 0, nullptr},
    };
    for (const tCase& c : cases) {
        cTarvelScriptValue v;
        v.kind = kScriptResultObject;
        v.className = c.className;
        v.object = c.handle;
        EXPECT_EQ((ScriptMobileOf<tStandInActor, tStandInMobile>(&v)), c.expected)
            << c.className;
    }
    EXPECT_EQ((ScriptMobileOf<tStandInActor, tStandInMobile>(nullptr)), nullptr);
    gScriptHandles.Release(&mobile);
    cTarvelScriptValue v;
    v.className = "cMobile";
    v.object = hMobile;
    EXPECT_EQ((ScriptMobileOf<tStandInActor, tStandInMobile>(&v)), nullptr) << "stale";
}

} // namespace
