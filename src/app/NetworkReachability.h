#pragma once

#include <memory>

class EarlyCycleTrigger;
class QObject;

// Tells the trigger whenever the system's network service sees the network go or come
// back, for as long as context lives. Without such a service it says so once on standard
// error, and the updates keep their usual rhythm.
void followNetworkReachability(const std::shared_ptr<EarlyCycleTrigger>& trigger, QObject* context);
