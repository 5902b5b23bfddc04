// The DxDiag provider: creation, the tree's walk and types, the test tree
// shared through the platform root, and failures.
#include <string>

#include "platform/d3d9/testing.h"
#include "platform/dxdiag/dxdiag.h"
#include "platform/dxdiag/testing.h"
#include "platform/win32/test_support.h"
#include "platform/win32/testing.h"

namespace pt = platform::testing;

namespace {

class DxDiagTest : public pt::PlatformTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(pt::LiveDxDiagObjects(), 0);
    pt::PlatformTest::TearDown();
  }

  // A provider initialised as the diagnostics library does it.
  HRESULT Open(IDxDiagProvider** provider) {
    HRESULT hr = CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                                  reinterpret_cast<void**>(provider));
    if (FAILED(hr)) return hr;
    DXDIAG_INIT_PARAMS params{sizeof(DXDIAG_INIT_PARAMS), DXDIAG_DX9_SDK_VERSION, FALSE, nullptr};
    return (*provider)->Initialize(&params);
  }

  static std::string Text(IDxDiagContainer* c, const char16_t* name) {
    VARIANT v;
    VariantInit(&v);
    if (FAILED(c->GetProp(name, &v)) || v.vt != VT_BSTR) return "<none>";
    std::string out;
    for (UINT i = 0; i < SysStringLen(v.bstrVal); ++i) out += static_cast<char>(v.bstrVal[i]);
    VariantClear(&v);
    return out;
  }
  static uint32_t U32(IDxDiagContainer* c, const char16_t* name) {
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(c->GetProp(name, &v), S_OK);
    EXPECT_EQ(v.vt, VT_UI4);
    return v.ulVal;
  }
};

TEST_F(DxDiagTest, MachineTreeReportsDirectX9cAndTheDirect3DAdapter) {
  pt::AdapterProfile profile = pt::DefaultAdapterProfile();
  profile.description = "Test Adapter";
  profile.desktopWidth = 1280;
  profile.desktopHeight = 1024;
  pt::SetAdapterProfile(profile);
  IDxDiagProvider* provider = nullptr;
  ASSERT_EQ(Open(&provider), S_OK);
  IDxDiagContainer* root = nullptr;
  ASSERT_EQ(provider->GetRootContainer(&root), S_OK);
  IDxDiagContainer* system = nullptr;
  ASSERT_EQ(root->GetChildContainer(u"DxDiag_SystemInfo", &system), S_OK);
  EXPECT_EQ(U32(system, u"dwDirectXVersionMajor"), 9u);
  EXPECT_EQ(U32(system, u"dwDirectXVersionMinor"), 0u);
  EXPECT_EQ(Text(system, u"szDirectXVersionLetter"), "c");
  EXPECT_EQ(U32(system, u"dwOSMajorVersion"), 5u);  // what GetVersionExA reports
  EXPECT_EQ(U32(system, u"ExtendedCPUFunctionBitmasks_0x80000018_bits96_127"), 0u);
  EXPECT_NE(Text(system, u"szOSExLongEnglish"), "<none>");
  IDxDiagContainer* display = nullptr;
  ASSERT_EQ(root->GetChildContainer(u"DxDiag_DisplayDevices.0", &display), S_OK);
  EXPECT_EQ(Text(display, u"szDescription"), "Test Adapter");
  EXPECT_EQ(Text(display, u"szDisplayModeEnglish"), "1280 x 1024 (32 bit) (60Hz)");
  EXPECT_EQ(U32(display, u"dwWidth"), 1280u);
  IDxDiagContainer* sound = nullptr;
  EXPECT_EQ(root->GetChildContainer(u"DxDiag_DirectSound.DxDiag_SoundDevices", &sound), S_OK);
  for (IUnknown* o : {static_cast<IUnknown*>(sound), static_cast<IUnknown*>(display),
                      static_cast<IUnknown*>(system), static_cast<IUnknown*>(root)}) {
    if (o) o->Release();
  }
  provider->Release();
}

TEST_F(DxDiagTest, TestTreeIsServedWithItsTypesAndOutlivesTheProvider) {
  pt::DxDiagNode tree;
  tree.Child("A.B").SetU32("u", 7).SetI32("i", -3).SetBool("b", true).SetString("s", "tab\there\nx\\");
  tree.Child("A.C");
  pt::SetDxDiagTree(tree);
  IDxDiagProvider* provider = nullptr;
  ASSERT_EQ(Open(&provider), S_OK);
  IDxDiagContainer* root = nullptr;
  ASSERT_EQ(provider->GetRootContainer(&root), S_OK);
  provider->Release();
  IDxDiagContainer* a = nullptr;
  ASSERT_EQ(root->GetChildContainer(u"A", &a), S_OK);
  root->Release();
  DWORD count = 0;
  ASSERT_EQ(a->GetNumberOfChildContainers(&count), S_OK);
  EXPECT_EQ(count, 2u);
  WCHAR name[2];
  ASSERT_EQ(a->EnumChildContainerNames(1, name, 2), S_OK);
  EXPECT_EQ(std::u16string(name), u"C");
  EXPECT_EQ(a->EnumChildContainerNames(2, name, 2), E_INVALIDARG);
  WCHAR tiny[1];
  EXPECT_EQ(a->EnumChildContainerNames(0, tiny, 1), DXDIAG_E_INSUFFICIENT_BUFFER);
  IDxDiagContainer* b = nullptr;
  ASSERT_EQ(a->GetChildContainer(u"B", &b), S_OK);
  a->Release();
  VARIANT v;
  VariantInit(&v);
  ASSERT_EQ(b->GetProp(u"i", &v), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, -3);
  ASSERT_EQ(b->GetProp(u"b", &v), S_OK);
  EXPECT_EQ(v.vt, VT_BOOL);
  EXPECT_EQ(v.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Text(b, u"s"), "tab\there\nx\\");
  EXPECT_EQ(b->GetProp(u"missing", &v), E_INVALIDARG);
  EXPECT_EQ(b->GetChildContainer(u"none", &a), E_INVALIDARG);
  EXPECT_EQ(a, nullptr);
  VariantClear(&v);
  b->Release();
}

TEST_F(DxDiagTest, CreationAndInitialisationRefuseWhatTheyDoNotServe) {
  void* object = nullptr;
  GUID other = CLSID_DxDiagProvider;
  other.Data1 ^= 1;
  EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, other, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  pt::FailDxDiagProvider(E_FAIL);
  IDxDiagProvider* provider = nullptr;
  EXPECT_EQ(Open(&provider), E_FAIL);
  pt::FailDxDiagProvider(S_OK);

  ASSERT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                             reinterpret_cast<void**>(&provider)),
            S_OK);
  IDxDiagContainer* root = nullptr;
  EXPECT_EQ(provider->GetRootContainer(&root), CO_E_NOTINITIALIZED);
  DXDIAG_INIT_PARAMS params{sizeof(DXDIAG_INIT_PARAMS), 110, FALSE, nullptr};
  EXPECT_EQ(provider->Initialize(&params), E_INVALIDARG);
  // An unreadable test tree fails the initialisation.
  pt::SetDxDiagTree(pt::DxDiagNode{});
  pt::WriteText(root_ + "/dxdiag/tree.txt", "+\tA\nq\tx\t1\n");
  params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
  EXPECT_EQ(provider->Initialize(&params), E_FAIL);
  provider->Release();
}

}  // namespace
