#include <windows.h>

#include <gtest/gtest.h>

#include "framework/AppModule.h"

// Test exes run like the program: the module knows its instance, so windows
// register their classes and load resources from the test exe itself.
int main(int argc, char** argv) {
    appModule.Init(GetModuleHandleW(nullptr));
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    appModule.Term();
    return result;
}
