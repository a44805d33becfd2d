// Stand-ins for the message boxes, the save-file dialog and the folder picker: they record
// what was asked and give the answers a test sets, so no box ever blocks a test.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "browse/path_helpers.h"
#include "workflow/batch_saver.h"

class FakeDialogs : public UserDialogs {
  public:
    bool answer = true;
    std::string saveName;
    std::vector<std::string> messages, informations, questions;
    std::vector<std::string> details;  // the informative text of each message, in step
    std::vector<std::pair<std::string, std::string>> saveDialogs;  // directory, filter
    void showMessage(const std::string& text, const std::string& detail = {}) override {
        messages.push_back(text);
        details.push_back(detail);
    }
    void showInformation(const std::string& text) override { informations.push_back(text); }
    bool askQuestion(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    std::string chooseSaveFile(const std::string& directory, const std::string& filter) override {
        saveDialogs.emplace_back(directory, filter);
        return saveName;
    }
};

class FakePicker : public paths::FolderPicker {
  public:
    std::string answer;
    int calls = 0;
    std::string pickFolder(const std::string&) override {
        ++calls;
        return answer;
    }
};
