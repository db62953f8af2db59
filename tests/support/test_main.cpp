#include <gtest/gtest.h>

#include "net/socket.h"
#include "support/lock_namespace.h"

namespace {

// Every test program runs with the socket library started, as the program does.
class SocketEnvironment : public ::testing::Environment {
public:
    void SetUp() override { SocketStartup(); }
    void TearDown() override { SocketCleanup(); }
};

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    UsePrivateLockNamespace();
    ::testing::AddGlobalTestEnvironment(new SocketEnvironment);
    return RUN_ALL_TESTS();
}
