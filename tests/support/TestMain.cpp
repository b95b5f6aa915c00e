#include <windows.h>

#include <gtest/gtest.h>

#include "framework/AppModule.h"

// Test exes run like the program: windows register their classes and load resources from the test exe.
int main(int argc, char** argv) {
    appModule.Init(GetModuleHandleW(nullptr));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
