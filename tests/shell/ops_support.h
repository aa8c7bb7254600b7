#pragma once
// Helpers for the tests of file operations and drops: a user who answers the
// conflict questions from a list, and running an operation to its end.
#include "shell/drop_target.h"
#include "shell/file_operation.h"

#include <QSignalSpy>
#include <deque>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kelvora::test {

class ScriptedUser : public TShOperationUi {
public:
    std::deque<TShConflictAnswer> answers; // when empty: Cancel
    std::vector<TShConflict> asked;
    int started = 0;
    int finished = 0;

    TShConflictAnswer AskConflict(const TShConflict& conflict) override {
        asked.push_back(conflict);
        if (answers.empty())
            return {};
        const TShConflictAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    void OperationStarted(TShFileOperation&) override { ++started; }
    void OperationFinished(TShFileOperation&) override { ++finished; }
};

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
