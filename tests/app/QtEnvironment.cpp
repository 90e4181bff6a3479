// Ends the tests' QApplication after the last test and before the process's
// exit handlers run; destroying it later touches Qt globals already gone.

#include "AppTestSupport.h"

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void TearDown() override { apptest::QtHolder().reset(); }
};

// Registered before main(); GoogleTest owns the object.
[[maybe_unused]] ::testing::Environment* const g_qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
