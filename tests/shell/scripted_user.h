#pragma once
// The user who answers the conflict questions of file operations from a list
// (Cancel when it is used up), and counts the operations' starts and ends.
#include "shell/ops/drop_target.h"
#include "shell/ops/file_operation.h"

#include <deque>
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

} // namespace kelvora::test
