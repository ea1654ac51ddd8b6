#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

#include "XSession.h"

namespace {

// One fresh X server for each run of this binary.
class XEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { server_ = std::make_unique<brimlet::e2e::XServer>(); }
    void TearDown() override { server_.reset(); }

  private:
    std::unique_ptr<brimlet::e2e::XServer> server_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new XEnvironment);
    return RUN_ALL_TESTS();
}
