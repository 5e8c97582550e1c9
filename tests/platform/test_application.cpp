#include <gtest/gtest.h>

#include <QByteArray>
#include <optional>

#include "platform/application.h"

namespace {

// Keeps the test process's own environment as it found it.
class EnvironmentVariable {
public:
    explicit EnvironmentVariable(const char* name) : name_(name) {
        if (qEnvironmentVariableIsSet(name)) saved_ = qgetenv(name);
    }
    ~EnvironmentVariable() {
        if (saved_)
            qputenv(name_, *saved_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    std::optional<QByteArray> saved_;
};

}  // namespace

TEST(DisplayEnvironment, ImagesGoOverTheSocketUnlessTheUserChoseOtherwise) {
    EnvironmentVariable keep("QT_XCB_NO_MITSHM");
    qunsetenv("QT_XCB_NO_MITSHM");
    PreferSocketImageTransfer();
    EXPECT_EQ(qgetenv("QT_XCB_NO_MITSHM"), "1");

    // Someone who wants shared memory back (or set it empty) keeps the setting.
    for (const char* own : {"0", ""}) {
        qputenv("QT_XCB_NO_MITSHM", own);
        PreferSocketImageTransfer();
        EXPECT_EQ(qgetenv("QT_XCB_NO_MITSHM"), own);
    }
}
