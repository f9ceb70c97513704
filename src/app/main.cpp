#include "app/ClientApplication.h"
#include "log/ActivityLog.h"
#include "update/Snooze.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    ActivityLog::create();
    KeepSnoozing = 1;
    QApplication application(argc, argv);
    QApplication::setApplicationName("vorlin-ipupdate");
    QApplication::setApplicationDisplayName("Vorlin IP Update Client");
    return runClientApplication(application);
}
