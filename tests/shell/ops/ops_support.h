#pragma once
// Helpers for the tests of file operations and drops: running an operation to its
// end, conflicts answered by a ScriptedUser.
#include "shell/ops/drop_target.h"
#include "shell/ops/file_operation.h"
#include "tests/shell/scripted_user.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kelvora::test {

// Runs a job on its thread to the end, conflicts answered by user.
inline TShOperationResult runJob(TShFileOp op, std::vector<std::string> sources,
                                 const std::string& target, ScriptedUser& user,
                                 std::function<void(TShFileOperation&)> prepare = {}) {
    TShFileOperation operation({op, std::move(sources), target},
                               [&user](const TShConflict& c) { return user.AskConflict(c); });
    if (prepare)
        prepare(operation);
    QSignalSpy finished(&operation, &TShFileOperation::finished);
    operation.Start();
    EXPECT_TRUE(finished.wait(30000));
    return operation.Result();
}

// Names in a folder, sorted, hidden ones included.
std::vector<std::string> namesIn(const std::string& folder);

} // namespace kelvora::test
