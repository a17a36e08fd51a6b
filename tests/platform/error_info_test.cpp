#include "platform/error_info.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "platform/com_object.hpp"

using namespace platform;

namespace {
void set_error(std::u16string source, std::u16string description) {
    CComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(CreateErrorInfo(create.out()), S_OK);
    create->SetGUID(IID_IDispatch);
    create->SetSource(source.data());
    create->SetDescription(description.data());
    create->SetHelpContext(7);
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, info.out_void()), S_OK);
    ASSERT_EQ(SetErrorInfo(0, info.get()), S_OK);
}
}  // namespace

TEST(ErrorInfo, ReadsBackWhatWasSetAndClearsOnRead) {
    set_error(u"TARNDistil.Distil.38.0", u"Failed to initialise properties \u00B0");
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.out()), S_OK);
    GUID g;
    info->GetGUID(&g);
    EXPECT_EQ(g, IID_IDispatch);
    CComBSTR text;
    info->GetSource(text.out());
    EXPECT_EQ(text.view(), u"TARNDistil.Distil.38.0");
    info->GetDescription(text.out());
    EXPECT_EQ(text.view(), u"Failed to initialise properties \u00B0");
    info->GetHelpFile(text.out());
    EXPECT_EQ(text.get(), nullptr);  // never set
    DWORD context = 0;
    info->GetHelpContext(&context);
    EXPECT_EQ(context, 7u);

    // Reading hands the object over: the thread has none left.
    CComPtr<IErrorInfo> again;
    EXPECT_EQ(GetErrorInfo(0, again.out()), S_FALSE);
    EXPECT_FALSE(again);
}

TEST(ErrorInfo, IsKeptPerThread) {
    set_error(u"main", u"main thread's error");
    std::optional<ErrorRecord> seen_by_other;
    std::thread other([&] {
        seen_by_other = take_error_info();
        set_error(u"other", u"left behind when the thread ends");  // released at thread exit
    });
    other.join();
    EXPECT_FALSE(seen_by_other);
    const auto mine = take_error_info();
    ASSERT_TRUE(mine);
    EXPECT_EQ(mine->source, "main");
    EXPECT_EQ(mine->description, "main thread's error");
    EXPECT_EQ(mine->help_context, 7u);
}

TEST(ErrorInfo, NullClearsAndReservedMustBeZero) {
    set_error(u"s", u"d");
    EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_FALSE(take_error_info());
    EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
    IErrorInfo* p = nullptr;
    EXPECT_EQ(GetErrorInfo(1, &p), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
    // The runtime's error objects do not keep the module loaded.
    set_error(u"s", u"d");
    EXPECT_EQ(module_can_unload_now(), S_OK);
    SetErrorInfo(0, nullptr);
}
