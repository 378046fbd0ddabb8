#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include "testutil.h"

namespace {
// A window that posted WM_QUIT would make every later modal loop of the
// thread return at once; drop it after each test and name the test.
class QuitDrain : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& info) override
    {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message != WM_QUIT) DispatchMessageA(&m);
        }
    }
};
}  // namespace

int main(int argc, char** argv)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new QuitDrain);
    return RUN_ALL_TESTS();
}
