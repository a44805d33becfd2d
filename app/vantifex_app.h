// CVantifexApp: the application object. It creates the main window, opens what the command
// line names, and ends the run with exit status 1 when an exception escapes an event.
#pragma once

#include <QApplication>

class CMainFrame;

class CVantifexApp : public QApplication {
    Q_OBJECT
  public:
    CVantifexApp(int& argc, char** argv);

    // Creates and shows the main window; a photo given as path is loaded once the window is
    // up, a folder becomes the input directory. With report, prints the window's state to
    // stdout after that and quits. The process's exit status.
    int run(const QString& path, bool report);

    bool notify(QObject* receiver, QEvent* event) override;

  private:
    void printState(CMainFrame& frame);
};
