// The print run's questions and messages recorded instead of shown, with a set answer: shared
// by the run's tests and the print dialog's.
#pragma once

#include <string>
#include <vector>

#include "print/print_run.h"

class FakePrompts : public PrintPrompts {
  public:
    bool answer = true;
    std::vector<std::string> messages, questions;
    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool askYesNo(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
};
