#include "platform/com_objects.h"
#include "tests/fakes/error_of.h"

#include <windows.h>

#include <objbase.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "base/error.h"
#include "tests/windows/recording_dispatch.h"

namespace seedwell::platform {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

using fakes::ErrorOf;

// Classes that Windows and Wine both provide, driven through the same late binding as the mail
// server's objects.
class ComObjects : public ::testing::Test {
  protected:
    std::unique_ptr<ObjectFactory> factory = MakeSystemObjectFactory();
};

TEST_F(ComObjects, IntegerPropertiesAndArgumentFreeMethods) {
    auto dictionary = factory->CreateObject("Scripting.Dictionary");
    dictionary->SetProperty("CompareMode", std::int32_t{1});
    EXPECT_EQ(dictionary->GetProperty("CompareMode"), "1");
    dictionary->SetProperty("comparemode", std::int16_t{2});  // names ignore case
    EXPECT_EQ(dictionary->CallMethod("CompareMode"), 2);
    EXPECT_EQ(dictionary->CallMethod("Count"), 0);
    EXPECT_EQ(dictionary->GetProperty("COUNT"), "0");
    EXPECT_EQ(dictionary->CallMethod("RemoveAll"), 0);  // no result counts as 0

    auto lower = factory->CreateObject("scripting.dictionary");
    EXPECT_EQ(lower->CallMethod("Count"), 0);
}

TEST_F(ComObjects, StringsCrossAsUnicodeAndTruthValuesAsMinusOne) {
    auto pattern = factory->CreateObject("VBScript.RegExp");
    const std::string text =
        "Z\xC3\xBCrich \xD0\x9F\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0 \xE2\x82\xAC \xF0\x9F\x93\xAB";
    pattern->SetProperty("Pattern", text);
    EXPECT_EQ(pattern->GetProperty("Pattern"), text);
    pattern->SetProperty("Pattern", std::string());
    EXPECT_EQ(pattern->GetProperty("Pattern"), "");

    pattern->SetProperty("Global", std::int16_t{-1});
    EXPECT_EQ(pattern->CallMethod("Global"), -1);
    EXPECT_EQ(pattern->GetProperty("Global"), "True");
    pattern->SetProperty("Global", std::int32_t{0});
    EXPECT_EQ(pattern->CallMethod("Global"), 0);

    auto files = factory->CreateObject("Scripting.FileSystemObject");
    EXPECT_THAT(files->GetProperty("GetTempName"), EndsWith(".tmp"));
}

TEST_F(ComObjects, UnknownMembersAreNamedWithTheirObject) {
    auto dictionary = factory->CreateObject("Scripting.Dictionary");
    const std::string unknown = "Object doesn't support this property or method: 'Foo'";
    EXPECT_EQ(ErrorOf([&] { dictionary->SetProperty("Foo", std::string("x")); }),
              "cannot set Scripting.Dictionary.Foo: " + unknown);
    EXPECT_EQ(ErrorOf([&] { dictionary->CallMethod("Foo"); }),
              "cannot call Scripting.Dictionary.Foo: " + unknown);
    EXPECT_EQ(ErrorOf([&] { dictionary->GetProperty("Foo"); }),
              "cannot read Scripting.Dictionary.Foo: " + unknown);
    EXPECT_THAT(ErrorOf([&] { dictionary->CallMethod(""); }), HasSubstr("doesn't support"));
    EXPECT_EQ(ErrorOf([&] { dictionary->CallMethod(std::string("Count\0x", 7)); }),
              "cannot call Scripting.Dictionary.Count\\x00x: Object doesn't support this property "
              "or method: 'Count\\x00x'");
}

TEST_F(ComObjects, FailuresCarryAReadableReason) {
    auto dictionary = factory->CreateObject("Scripting.Dictionary");
    // Item needs a key: the call fails, and the reason says why even without a description.
    const std::string missingKey = ErrorOf([&] { dictionary->GetProperty("Item"); });
    EXPECT_THAT(missingKey, StartsWith("cannot read Scripting.Dictionary.Item: "));
    EXPECT_THAT(missingKey, ::testing::Not(EndsWith(": ")));
    EXPECT_THAT(missingKey, HasSubstr("(0x8002"));

    auto files = factory->CreateObject("Scripting.FileSystemObject");
    EXPECT_THAT(ErrorOf([&] { files->CallMethod("GetTempName"); }),
                StartsWith("cannot call Scripting.FileSystemObject.GetTempName: its result is "
                           "not a 32-bit integer: "));
    EXPECT_THAT(ErrorOf([&] { dictionary->SetProperty("CompareMode", std::string("text")); }),
                StartsWith("cannot set Scripting.Dictionary.CompareMode: "));
}

TEST_F(ComObjects, TextThatWouldArriveChangedIsRefused) {
    auto pattern = factory->CreateObject("VBScript.RegExp");
    pattern->SetProperty("Pattern", std::string("kept"));
    EXPECT_EQ(ErrorOf([&] { pattern->SetProperty("Pattern", std::string("ab\0cd", 5)); }),
              "cannot set VBScript.RegExp.Pattern: the text holds a NUL character");
    EXPECT_EQ(ErrorOf([&] { pattern->SetProperty("Pattern", std::string("caf\xE9")); }),
              "cannot set VBScript.RegExp.Pattern: the text is not valid UTF-8");
    EXPECT_EQ(pattern->GetProperty("Pattern"), "kept");
}

TEST_F(ComObjects, UnknownIdentifierIsNamed) {
    const std::string failure = ErrorOf([&] { factory->CreateObject("TWAOXX.NoSuchClass"); });
    EXPECT_THAT(failure, StartsWith("cannot create object 'TWAOXX.NoSuchClass': "));
    EXPECT_THAT(failure, HasSubstr("0x800401F3"));
    EXPECT_THAT(ErrorOf([&] { factory->CreateObject(""); }), StartsWith("cannot create object ''"));
}

// A class of the test's own shows exactly what crosses to the object and back.
class LateBinding : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(served.Registered()); }
    const test_support::Invocation& Last() const { return served.calls.back(); }

    std::unique_ptr<ObjectFactory> factory = MakeSystemObjectFactory();
    test_support::RecordingClass served{
        std::string("Seedwell.Recording.") +
        ::testing::UnitTest::GetInstance()->current_test_info()->name()};
    const std::string& progId = served.ProgId();
};

TEST_F(LateBinding, PropertiesArePutAsTheKindTheValueHolds) {
    auto object = factory->CreateObject(progId);
    object->SetProperty("Name", std::string("Z\xC3\xBCrich \xF0\x9F\x93\xAB"));
    EXPECT_EQ(Last().flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(Last().argumentTypes, std::vector<VARTYPE>{VT_BSTR});
    EXPECT_EQ(Last().namedArguments, std::vector<DISPID>{DISPID_PROPERTYPUT});
    EXPECT_EQ(Last().text, std::wstring(L"Z\x00FCrich \xD83D\xDCEB"));

    object->SetProperty("Status", std::int16_t{-1});
    EXPECT_EQ(Last().argumentTypes, std::vector<VARTYPE>{VT_I2});
    EXPECT_EQ(Last().number, -1);
    object->SetProperty("limit", std::int32_t{-1});
    EXPECT_EQ(Last().argumentTypes, std::vector<VARTYPE>{VT_I4});
    EXPECT_EQ(Last().number, -1);
    object->SetProperty("Name", std::string());
    EXPECT_EQ(Last().argumentTypes, std::vector<VARTYPE>{VT_BSTR});
    EXPECT_EQ(Last().text, L"");
}

TEST_F(LateBinding, MethodsAndReadsTakeNoArgumentsAndConvertTheResult) {
    auto object = factory->CreateObject(progId);
    EXPECT_EQ(object->CallMethod("Truth"), -1);
    EXPECT_EQ(Last().flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_TRUE(Last().argumentTypes.empty());
    EXPECT_TRUE(Last().namedArguments.empty());
    EXPECT_EQ(object->CallMethod("Count"), 42);
    EXPECT_EQ(object->CallMethod("Limit"), 0);  // no result

    object->SetProperty("Name", std::string("sales"));
    EXPECT_EQ(object->GetProperty("Name"), "sales");
    EXPECT_EQ(object->GetProperty("Truth"), "True");
    EXPECT_EQ(object->GetProperty("Limit"), "");
    EXPECT_EQ(ErrorOf([&] { object->GetProperty("Nothing"); }),
              "cannot read " + progId + ".Nothing: its value is Null, not text");
    EXPECT_EQ(ErrorOf([&] { object->GetProperty("Surrogate"); }),
              "cannot read " + progId + ".Surrogate: its text is not valid UTF-16");
}

TEST_F(LateBinding, FailuresTakeTheObjectsDescriptionElseItsCode) {
    auto object = factory->CreateObject(progId);
    EXPECT_EQ(
        ErrorOf([&] { object->CallMethod("Described"); }),
        "cannot call " + progId + ".Described: the post office '\\x1B[2Jmian' does not exist");
    EXPECT_EQ(ErrorOf([&] { object->CallMethod("Deferred"); }),
              "cannot call " + progId + ".Deferred: filled in later");
    const std::string silent = ErrorOf([&] { object->GetProperty("Silent"); });
    EXPECT_THAT(silent, StartsWith("cannot read " + progId + ".Silent: "));
    EXPECT_THAT(silent, EndsWith(" (0x80070005)"));  // after the system's text for it
    EXPECT_GT(silent.size(), ("cannot read " + progId + ".Silent:  (0x80070005)").size());
    EXPECT_EQ(ErrorOf([&] { object->CallMethod("Coded"); }),
              "cannot call " + progId + ".Coded: error 1234");
}

TEST_F(LateBinding, EveryObjectIsReleased) {
    {
        auto first = factory->CreateObject(progId);
        auto second = factory->CreateObject(progId);
        EXPECT_EQ(served.live, 2);
        EXPECT_THROW(first->CallMethod("Described"), Error);
        EXPECT_THROW(second->GetProperty("Nothing"), Error);
    }
    EXPECT_EQ(served.live, 0);
}

TEST(ComObjectLifetime, ObjectsMayOutliveTheirFactory) {
    std::unique_ptr<AdminObject> dictionary;
    {
        auto factory = MakeSystemObjectFactory();
        dictionary = factory->CreateObject("Scripting.Dictionary");
        auto second = MakeSystemObjectFactory();  // the thread is already initialised: fine
        EXPECT_EQ(second->CreateObject("Scripting.Dictionary")->CallMethod("Count"), 0);
    }
    EXPECT_EQ(dictionary->CallMethod("Count"), 0);
    dictionary.reset();
    // COM was released as often as it was taken: the thread is back to no COM at all.
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(hr, S_OK);
    if (SUCCEEDED(hr)) CoUninitialize();
    EXPECT_EQ(MakeSystemObjectFactory()->CreateObject("Scripting.Dictionary")->CallMethod("Count"),
              0);
}

}  // namespace
}  // namespace seedwell::platform
