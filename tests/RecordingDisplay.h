#pragma once

#include "log/ActivityLog.h"

#include <QStringList>
#include <QThread>

// A log view and tooltip that record what they were shown, and on which thread.
class RecordingDisplay : public ActivityLogDisplay {
public:
    void showLog(const QString& text) override { shownLog = text; }
    void showToolTip(const QString& text) override {
        toolTips << text;
        toolTipThread = QThread::currentThread();
    }
    void showCycleOutcome(const CycleOutcome& outcome) override { outcomes << outcome; }

    QString shownLog;
    QStringList toolTips;
    QThread* toolTipThread = nullptr;
    QList<CycleOutcome> outcomes;
};
