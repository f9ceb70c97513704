#!/usr/bin/env bash
# Mutation check: applies each one-line fault below in turn to a scratch copy of the
# working tree, rebuilds it and runs the test suite. A mutant is "killed" when the build
# or a test fails, "survived" when everything passes, and "stale" when its source text no
# longer occurs exactly once (the code moved: update the mutant). A known survivor carries
# its reason and is counted apart. The test that killed a mutant in an earlier run, as the
# scratch folder remembers it, runs first.
#   scripts/mutants.sh [name-pattern]   (an extended regular expression; default: all)
# Environment: MUTANT_TIMEOUT (seconds for each run of ctest, default 300; a mutant's tests
#                              take one run, or two when its earlier killer runs first),
#              MUTANT_JOBS (parallel tests, default 1),
#              MUTANT_SCRATCH (the scratch folder, default build-mutants).
set -euo pipefail
cd "$(dirname "$0")/.."
filter=${1:-}
timeout_seconds=${MUTANT_TIMEOUT:-300}
jobs=${MUTANT_JOBS:-1}
scratch=$(realpath -m "${MUTANT_SCRATCH:-build-mutants}")
scripts/install-dependencies.sh ccache
export CCACHE_BASEDIR=$scratch CCACHE_DIR=${CCACHE_DIR:-/work/.ccache}

# Each mutant: "@ name file", then "- text" to find (exactly once) and "+ text" to put in
# its place. Texts are taken verbatim after "- " and "+ "; an empty "+" drops the text.
# A line "? reason" after the "@" line marks a known survivor: one that no test should kill,
# being the same as the original to a user or visible only to a test that restates the code.
# Never delete a survivor; kill it with a test or give its reason here.
mutants() {
  cat <<'EOF'
@ quits-when-window-closes src/app/ClientApplication.cpp
- application.setQuitOnLastWindowClosed(false);
+ application.setQuitOnLastWindowClosed(true);
@ second-start-closes-window src/app/ClientApplication.cpp
- delegate.menuPreferencesClick();
+ delegate.buttonCloseClick();
@ refused-start-exits-zero src/app/ClientApplication.cpp
- return claim == SingleInstance::Claim::ShownOther ? 0 : 1;
+ return 0;
@ unanswered-start-exits-zero src/app/ClientApplication.cpp
- return claim == SingleInstance::Claim::ShownOther ? 0 : 1;
+ return claim == SingleInstance::Claim::Refused ? 1 : 0;
@ refusal-told-on-standard-error-alone src/app/ClientApplication.cpp
- tellWhyNotStarted(instance, claim, startedAtLogin);
+
@ refusal-told-at-every-login src/app/ClientApplication.cpp
- (startedAtLogin && !firstTimeToTell(refusedAtLoginMark)))
+ false)
@ no-message-box-without-notification-service src/app/DesktopNotification.cpp
- QMessageBox(QMessageBox::Warning, title, body).exec();
+ {}
@ startup-id-read-after-qt-took-it src/app/SingleInstance.cpp
- : launch_(std::move(launch)),
+ : launch_(LaunchActivation::fromEnvironment()),
@ launch-not-handed-to-running-copy src/app/SingleInstance.cpp
- activate << launch_.platformData();
+ activate << QVariantMap();
@ entry-without-startup-notification packaging/linux/com.vorlin.IPUpdateClient.desktop
- StartupNotify=true
+ StartupNotify=false
@ start-giving-way-leaves-launch-feedback src/app/ClientApplication.cpp
- LaunchFeedback::end(launch); // its window, if any, comes forward from the running copy
+
@ copy-without-bus-told-hung src/app/SingleInstance.cpp
- if (!bus_.isConnected()) { // nothing tells whether it answers
+ if (false) {
@ entry-without-a-program-ticked src/app/platform/linux/XdgAutostartItem.cpp
- return value("Type") && value("Exec") &&
+ return
@ log-without-a-name src/app/PreferencesWindow.cpp
- activity->setBuddy(textBoxActivityLog); // which names the log for assistive technology
+
@ menu-mid-screen-under-wayland src/app/AppDelegate.cpp
- if (QGuiApplication::platformName().startsWith("wayland"))
+ if (false)
@ icon-not-set-up-in-colour src/app/AppDelegate.cpp
- statusIcons_ = {greyed(icon), icon,
+ statusIcons_ = {icon, icon,
@ icon-failing-without-its-badge src/app/AppDelegate.cpp
- withBadge(icon, QIcon(":/badge_attention"))};
+ icon};
@ tray-menu-away-from-the-icon src/app/AppDelegate.cpp
- trayIconMenu_->popup(QCursor::pos());
+ trayIconMenu_->popup(QPoint());
@ window-asked-to-come-forward-before-it-shows src/app/AppDelegate.cpp
- window_->activateWhenShown();
+ window_->activateWindow();
@ windowless-start-leaves-launch-feedback src/app/ClientApplication.cpp
- if (!delegate.window()->isVisible()) // a window that shows ends it by itself
+ if (false)
@ handed-launch-feedback-left src/app/ClientApplication.cpp
- LaunchFeedback::end(later);
+
@ handed-startup-id-not-on-window src/app/LaunchFeedback.cpp
- if (!id.isEmpty())
+ if (false)
@ starting-copy-taken-for-hung src/app/SingleInstance.cpp
- reply.errorName() == "org.freedesktop.DBus.Error.NameHasNoOwner";
+ false;
@ freed-lock-not-taken-while-asking src/app/SingleInstance.cpp
- if (lock_.claim() == UpdaterLock::Claim::Claimed)
+ if (false)
@ bus-name-of-the-path-as-spelled src/app/SingleInstance.cpp
- return busNameOf(UserDefaults::canonicalStoreFile());
+ return busNameOf(UpdaterLock::settingsFile());
@ earlier-versions-bus-name-not-asked src/app/SingleInstance.cpp
? only a copy of an earlier version, which no test has at hand, owns that name
- if (attempt == 0 && earlierName != busName() &&
+ if (false &&
@ unlocked-copy-runs-beside-a-named-one src/app/SingleInstance.cpp
- if (!locked && owner) // a copy runs, which the lock could not tell
+ if (false)
@ store-left-readable-at-start src/app/ClientApplication.cpp
- UserDefaults::makeStorePrivate();
+
@ companion-leaves-store-readable src/companion/Companion.cpp
- UserDefaults::makeStorePrivate();
+
@ companion-creates-with-umask src/companion/Companion.cpp
? the same for the password: the store's file is created 0600 whatever the umask; the umask narrows only the lock, the newest-cycle record and a settings folder that the lock made first, none of which holds a secret
- ::umask(0077);
+
@ no-window-at-first-run-with-tray src/app/AppDelegate.cpp
- if (!saved || (!tray && !startedAtLogin))
+ if (!tray && !startedAtLogin)
@ no-window-without-tray src/app/AppDelegate.cpp
- if (!saved || (!tray && !startedAtLogin))
+ if (!saved)
@ window-at-every-login-without-tray src/app/AppDelegate.cpp
- if (!saved || (!tray && !startedAtLogin))
+ if (!saved || !tray)
@ quiet-login-start-tells-nothing src/app/AppDelegate.cpp
- else if (!tray && firstTimeToTell(".quiet-start-told"))
+ else if (false)
@ quiet-start-told-at-every-login src/app/DesktopNotification.cpp
- if (told.exists())
+ if (false)
@ login-entry-option-dropped src/app/platform/linux/XdgAutostartItem.cpp
- quietly ? " " + QString::fromLatin1(startedAtLoginOption) : QString());
+ QString());
@ earlier-login-entry-kept src/app/platform/linux/XdgAutostartItem.cpp
- if (found)
+ if (false)
@ desktop-choices-overwritten src/app/platform/linux/XdgAutostartItem.cpp
- writeEntry(entry->lines.join('\n'));
+ writeEntry(entryText());
@ unescaped-percent-entry-kept src/app/platform/linux/XdgAutostartItem.cpp
- earlierForms << form << QString(form).replace("%%", "%");
+ earlierForms << form;
@ percent-read-as-field-code src/app/platform/linux/XdgAutostartItem.cpp
- .replace("%", "%%"); // %% is no field code
+ ; // %% is no field code
@ crlf-entry-kept src/app/platform/linux/XdgAutostartItem.cpp
- line.chop(1);
+ line.chop(0);
@ current-login-entry-rewritten-at-every-start src/app/platform/linux/XdgAutostartItem.cpp
? the file is written again with the same text: nothing that a user or the desktop sees changes
- if (line != current && earlierForms.contains(line)) {
+ if (earlierForms.contains(line)) {
@ entry-switched-off-shows-ticked src/app/platform/linux/XdgAutostartItem.cpp
- return own ? own->startsAtLogin() : isOn(systemEntryPath());
+ return own ? true : isOn(systemEntryPath());
@ system-entry-ignored src/app/platform/linux/XdgAutostartItem.cpp
- return own ? own->startsAtLogin() : isOn(systemEntryPath());
+ return own && own->startsAtLogin();
@ system-entry-deleted-rather-than-hidden src/app/platform/linux/XdgAutostartItem.cpp
- if (!systemEntryPath())
+ if (true)
@ hiding-entry-kept-when-switched-on src/app/platform/linux/XdgAutostartItem.cpp
- return !own || QFile::remove(entryPath());
+ return true;
@ users-entry-replaced-when-switched-on src/app/platform/linux/XdgAutostartItem.cpp
- if (!own || !own->value("Type"))
+ if (true)
@ hidden-kept-when-switched-on src/app/platform/linux/XdgAutostartItem.cpp
- own->remove("Hidden");
+
@ mate-switch-off-missed src/app/platform/linux/XdgAutostartItem.cpp
- isFalse(value("X-MATE-Autostart-enabled")));
+ false);
@ spaced-switch-off-missed src/app/platform/linux/XdgAutostartItem.cpp
- else if (inEntry && lines[index].section('=', 0, 0).trimmed() == key)
+ else if (inEntry && lines[index].section('=', 0, 0) == key)
@ switch-off-read-in-any-group src/app/platform/linux/XdgAutostartItem.cpp
- else if (inEntry && lines[index].section('=', 0, 0).trimmed() == key)
+ else if (lines[index].section('=', 0, 0).trimmed() == key)
@ switch-off-first-line-counts src/app/platform/linux/XdgAutostartItem.cpp
- found = lines[index].section('=', 1).trimmed();
+ found = found.value_or(lines[index].section('=', 1).trimmed());
@ kde-switch-off-missed src/app/platform/linux/XdgAutostartItem.cpp
- !(value("Hidden") == "true" || value("Hidden") == "1" ||
+ !(value("Hidden") == "1" ||
@ login-tick-not-read-from-the-entry src/app/AppDelegate.cpp
- [this] { startAtLoginEntry_->setChecked(loginItem_->isEnabled()); });
+ [] {});
@ close-button-hides src/app/AppDelegate.cpp
- window_->close();
+ window_->hide();
@ close-with-tray-tells-it-keeps-updating src/app/AppDelegate.cpp
- if (!quitting_ && !QSystemTrayIcon::isSystemTrayAvailable())
+ if (!quitting_)
@ termination-signals-not-followed src/app/ClientApplication.cpp
- quitOnTerminationSignals();
+
@ wake-signal-kills-client src/app/ClientApplication.cpp
- wakeWorkerOnSignals();
+
@ socket-left-after-quit src/app/ClientApplication.cpp
- instance.release();
+
@ lock-left-after-exit src/app/SingleInstance.cpp
- lock_.release();
+
@ second-copy-runs src/app/SingleInstance.cpp
- return giveWay(quietly);
+ return Claim::Run;
@ quiet-second-start-shows-window src/app/SingleInstance.cpp
- return quietly ? Claim::ShownOther : askRunningCopy(holder);
+ return askRunningCopy(holder);
@ other-program-not-refused src/app/SingleInstance.cpp
- holder->program != UpdaterLock::programOf(
+ holder->program == UpdaterLock::programOf(
@ hangup-not-followed src/update/ProcessSignals.h
- {SIGTERM, SIGINT, SIGHUP}
+ {SIGTERM, SIGINT}
@ end-drops-queued-lines src/update/ProcessSignals.cpp
- StandardErrorWriter::flush(std::chrono::milliseconds(200));
+
@ quit-waits-for-save-verification src/app/ProfileCheckWait.cpp
- if (end != replyArrived) {
+ if (false) {
@ autostart-entry-not-removed src/app/platform/linux/XdgAutostartItem.cpp
- return !QFile::exists(entryPath()) || QFile::remove(entryPath());
+ return true;
@ autostart-folder-not-made src/app/platform/linux/XdgAutostartItem.cpp
- QDir().mkpath(QFileInfo(entryPath()).path());
+
@ keyring-entry-shared-by-settings src/account/AccountPassword.cpp
- return user + " (settings " + UserDefaults::digestOf(UserDefaults::canonicalStoreFile()) + ")";
+ return user;
@ earlier-versions-keyring-entry-not-read src/account/AccountPassword.cpp
- UserDefaults::boolForKey(keyringEntryPerSettings) ? keyringKeyOf(user) : user;
+ keyringKeyOf(user);
@ own-keyring-entry-not-read src/account/AccountPassword.cpp
- UserDefaults::boolForKey(keyringEntryPerSettings) ? keyringKeyOf(user) : user;
+ user;
@ earlier-versions-entry-told-as-missing src/account/AccountPassword.cpp
- return addToActivityLog(earlierEntryStays.arg(user));
+ return;
@ missing-keyring-entry-told-as-may-remain src/account/AccountPassword.cpp
- if (removal.noEntry)
+ if (false)
@ keyring-entry-left-silently-by-set-account src/account/AccountPassword.cpp
- return addToActivityLog(keyringOutOfReach.arg(user));
+ return;
@ stderr-flush-does-not-wait src/log/StandardErrorWriter.cpp
- return changed_.wait_for(lock, patience, [this] { return idle(); });
+ return true;
@ network-return-ignored src/update/EarlyCycleTrigger.cpp
- const bool back = online && (offline_ || fallbackAt_);
+ const bool back = false;
@ resume-not-noticed src/update/EarlyCycleTrigger.cpp
- return slept > resumeThreshold;
+ return false;
@ lock-inherited-by-launched-programs src/update/UpdaterLock.cpp
- O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW
+ O_RDWR | O_CREAT | O_NOFOLLOW
@ lock-folder-not-made src/update/UpdaterLock.cpp
- QDir().mkpath(QFileInfo(path_).path());
+
@ lock-unseen-by-the-kernel src/update/UpdaterLock.cpp
- if (::fcntl(descriptor, F_SETLK, &record) == 0)
+ if (true)
@ upgraded-updater-not-recognised src/update/UpdaterLock.cpp
- program.chop(replaced.size());
+
@ record-success-inverted src/update/CycleRecord.cpp
- record.succeeded ? "1" : "0"
+ record.succeeded ? "0" : "1"
@ companion-killed-by-wake src/companion/Run.cpp
- wakeWorkerOnSignals({SIGUSR1, SIGHUP});
+
@ service-never-ready src/companion/Run.cpp
- Systemd::notifyReady();
+
@ watchdog-fed-only-before-cycles src/companion/Run.cpp
- sinceBoot = std::min(sinceBoot, clocks().sinceBoot() + *interval_);
+
@ status-line-says-success-after-failure src/companion/Run.cpp
- notifyStatus(outcome.succeeded
+ notifyStatus(true
@ failure-not-in-journal src/companion/Run.cpp
- Companion::tell(outcome.failureNote);
+
@ reload-ends-service src/companion/Run.cpp
- wakeWorkerOnSignals({SIGUSR1, SIGHUP});
+ wakeWorkerOnSignals({SIGUSR1});
@ record-kept-on-disk src/update/CycleRecord.cpp
- QString folder = qEnvironmentVariable("RUNTIME_DIRECTORY").section(':', 0, 0);
+ QString folder;
@ upgrade-leaves-old-program-running packaging/linux/companion/postinst
- systemctl try-restart vorlin-ipupdated.service >/dev/null || true
+ true
@ removal-leaves-unit-enabled packaging/linux/companion/prerm
- systemctl disable vorlin-ipupdated.service >/dev/null 2>&1 || true
+ true
@ hung-service-not-restarted packaging/linux/systemd/system/vorlin-ipupdated.service.in
- Restart=on-failure
+
@ service-without-reload packaging/linux/systemd/system/vorlin-ipupdated.service.in
- ExecReload=/bin/kill -HUP $MAINPID
+
@ wake-not-rung src/update/Snooze.cpp
- ringForWorker();
+
@ wait-timer-relative src/update/WorkerWait.cpp
- ::timerfd_settime(timer_, TFD_TIMER_ABSTIME, &end, nullptr);
+ ::timerfd_settime(timer_, 0, &end, nullptr);
@ early-cycle-waits-for-the-deadline src/update/EarlyCycleTrigger.cpp
- return spaced;
+ return std::max(spaced, deadline);
@ resume-not-held-for-network src/update/EarlyCycleTrigger.cpp
- if (fallbackAt_)
+ if (false)
@ companion-not-set-up-silent src/companion/Run.cpp
- if (!MyFunctions::getConfigurationBoolean(SettingsKeys::saved)) {
+ if (false) {
@ journal-never-recognised src/companion/Systemd.cpp
- if (stream.isEmpty() || ::fstat(STDERR_FILENO, &standardError) != 0)
+ if (true)
@ set-account-does-not-wake src/companion/SetAccount.cpp
- wakeRunningUpdater();
+
@ failed-set-account-exits-zero src/companion/SetAccount.cpp
- if (outcome != SaveOutcome::Saved)
+ if (false)
@ status-failure-shown-as-success src/companion/Status.cpp
- if (cycle->succeeded)
+ if (true)
@ status-json-controls-raw src/companion/StatusJson.cpp
- if (c < 0x20 || !ActivityLog::needsEscaping(c)) {
+ if (true) {
@ status-json-empty-not-null src/companion/StatusJson.cpp
- return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
+ return QJsonValue(text);
@ status-json-unreadable-shows-defaults src/companion/StatusJson.cpp
- *value = QJsonValue::Null;
+
@ status-json-keyring-as-file src/companion/StatusJson.cpp
- "settings file", "keyring"};
+ "settings file", "settings file"};
@ status-json-time-without-offset src/companion/StatusJson.cpp
- return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
+ return local.toString(Qt::ISODate);
@ status-metrics-label-quote-raw src/companion/StatusMetrics.cpp
- .replace('"', "\\\"")
+
@ status-metrics-no-last-success src/companion/StatusMetrics.cpp
- unlabelled(cycle ? seconds(cycle->lastSuccess) : std::nullopt)
+ unlabelled(std::nullopt)
@ status-metrics-exit-follows-cycle src/companion/Status.cpp
- return 0;
+ return exitStatus(status);
@ status-metrics-written-for-unreadable-settings src/companion/Status.cpp
- if (const auto problem = status.unreadable)
+ if (const auto problem = std::optional<QString>())
@ record-status-word-breaks-lines src/update/CycleRecord.cpp
- QUrl::toPercentEncoding(record.statusWord),
+ record.statusWord,
@ record-last-success-on-any-cycle src/update/CycleRecord.cpp
- if (outcome.succeeded)
+ if (true)
@ status-word-not-carried src/update/ClientUpdate.cpp
- meaning.status = reply->statusCode;
+
@ unchanged-value-written src/settings/UserDefaults.cpp
- if (earlier == values)
+ if (false)
@ store-created-readable src/settings/UserDefaults.cpp
- createPrivately(storeFile());
+
@ refused-write-stays-in-cache src/settings/UserDefaults.cpp
- put(store, key, earlierValue);
+
@ snooze-flag-test-flipped src/update/Snooze.cpp
- KeepSnoozing.load() == 0
+ KeepSnoozing.load() != 0
@ snooze-flag-not-set-again src/update/Snooze.cpp
- KeepSnoozing.store(1);
+
@ snooze-one-step-too-many src/update/Snooze.cpp
- if (wait.clocks().sinceBoot() >= deadline)
+ if (wait.clocks().sinceBoot() > deadline)
@ start-keeps-remembered-ipv4 src/update/IPUpdateThread.cpp
- MyFunctions::setConfigurationString(updatedipv4, QString());
+
@ first-update-on-either-empty src/update/IPUpdateThread.h
- rememberedIPv4.isEmpty() && rememberedIPv6.isEmpty()
+ rememberedIPv4.isEmpty() || rememberedIPv6.isEmpty()
@ stored-user-name-not-checked src/update/IPUpdateThread.cpp
- if (!validator.isValidUsername(inputs.username) ||
+ if (
@ stored-password-not-checked src/update/IPUpdateThread.cpp
- !validator.isValidPassword(inputs.password)) {
+ false) {
@ unsaved-settings-cycle src/update/IPUpdateThread.cpp
- if (!MyFunctions::getConfigurationBoolean(saved))
+ if (MyFunctions::getConfigurationBoolean(saved))
@ guard-misses-failures src/update/IPUpdateThread.cpp
- catch (const std::exception&)
+ catch (const std::bad_alloc&)
@ nochg-not-adopted src/update/ClientUpdate.cpp
- no change."), true,
+ no change."), false,
@ notfqdn-not-adopted src/update/ClientUpdate.cpp
- fully qualified hostname."), true,
+ fully qualified hostname."), false,
@ donator-adopted src/update/ClientUpdate.cpp
- only available for members."), false,
+ only available for members."), true,
@ nohost-group-threshold src/update/ClientUpdate.cpp
- location.size() >= 2
+ location.size() >= 1
@ shown-address-threshold src/update/ClientUpdate.cpp
- shownAddressMinimumLength = 5;
+ shownAddressMinimumLength = 4;
@ good-line-text src/update/ClientUpdate.cpp
- "[good] IP address updated."
+ "[good] IP address updated"
@ good-case-sensitive src/update/ClientUpdate.cpp
- status.toLower().startsWith(
+ status.startsWith(
@ keyword-case-sensitive src/update/ClientUpdate.cpp
- QLatin1String(keyword), Qt::CaseInsensitive
+ QLatin1String(keyword), Qt::CaseSensitive
@ reply-ipv6-not-remembered src/update/ClientUpdate.cpp
- UserDefaults::setValuesIf({{updatedipv4, addresses.ipv4}, {updatedipv6, addresses.ipv6}},
+ UserDefaults::setValuesIf({{updatedipv4, addresses.ipv4}},
@ uin-inverted src/update/ClientUpdate.cpp
- if (inputs.firstUpdate())
+ if (!inputs.firstUpdate())
@ ipv6-flag-from-ipv4 src/update/ClientUpdate.cpp
- inputs.updateIPv6Address ? discoveredIPv6
+ inputs.updateIPv4Address ? discoveredIPv6
@ digest-not-md5 src/service/ServiceQuery.cpp
- QCryptographicHash::Md5
+ QCryptographicHash::Sha1
@ null-not-cleansed src/service/ServiceQuery.cpp
- value.isUndefined() || value.isNull()
+ value.isUndefined()
@ account-fields-reordered src/service/AccountVerification.cpp
- {{"username", username}, {"password", md5Hash(password)},
+ {{"password", md5Hash(password)}, {"username", username},
@ profile-bars-not-padding src/service/AccountVerification.cpp
- padded.replace('|', '=');
+
@ truth-zeros-not-skipped src/service/AccountVerification.cpp
- text[i] == '0'
+ text[i] == '1'
@ empty-profile-reply-taken-as-refusal src/service/AccountVerification.cpp
- if (text.isEmpty())
+ if (false)
@ odd-byte-profile-reply-read src/service/AccountVerification.cpp
- bytes.decoded.size() % 2 != 0
+ false
@ numeric-result-taken-as-no src/service/AccountVerification.cpp
- return value.toDouble() != 0;
+ return false;
@ decimal-point-taken-as-yes src/service/AccountVerification.cpp
- QStringLiteral("YyTt123456789")
+ QStringLiteral("YyTt123456789.")
@ body-cap-off-by-one src/service/Transport.cpp
- static_cast<qsizetype>(length) > maximumBodyBytes
+ static_cast<qsizetype>(length) >= maximumBodyBytes
@ address-reply-limit-off-by-one src/service/AddressDiscovery.cpp
- text.size() < 3
+ text.size() < 4
@ transport-accepts-other-status src/service/Transport.cpp
- statusOf(easy.get()) != 200
+ statusOf(easy.get()) >= 300
@ cipher-key-length src/settings/PasswordCipher.cpp
- EVP_aes_256_ecb()
+ EVP_aes_128_ecb()
@ keyring-password-also-in-file src/account/SaveSettings.cpp
- ? QVariant(QString(""))
+ ? MyFunctions::storedConfigurationString(password, entries.password)
@ keyring-choice-not-recorded src/account/SaveSettings.cpp
- {passwordInKeyring, entries.passwordInKeyring ? QVariant(true) : QVariant()},
+ {passwordInKeyring, QVariant()},
@ keyring-refusal-ignored src/account/AccountPassword.cpp
-     if (!refusal)
+     if (true)
@ earlier-keyring-entry-kept src/account/AccountPassword.cpp
-         removeEntry(earlier.username, earlier.inEarlierVersionsEntry);
+         {}
@ keyring-entry-deleted-while-used src/account/AccountPassword.cpp
- !(entries.passwordInKeyring && sameEntry(entries, earlier))
+ true
@ entry-of-unstored-save-kept src/account/AccountPassword.cpp
-         removeEntry(entries.username, false);
+         {}
@ entry-left-behind-unsaid src/account/AccountPassword.cpp
- addToActivityLog("The keyring's entry for " + user + " may remain: " + *removal.failure);
+ {}
@ locked-entry-reported-removed src/app/KeychainKeyring.cpp
-     if (!read.password)
+     if (false)
@ keyring-password-not-held-after-save src/account/AccountPassword.cpp
- PasswordKeyrings::hold(held);
+ PasswordKeyrings::hold(std::nullopt);
@ cycle-sends-file-password-not-keyring-one src/update/IPUpdateThread.cpp
-         return held;
+         return MyFunctions::getConfigurationString(password);
@ service-fails-keyring-settings-instead-of-waiting src/update/IPUpdateThread.cpp
- if (!PasswordKeyrings::installed()) {
+ if (false) {
@ start-reads-no-keyring src/account/AccountPassword.cpp
- if (!keyring || !UserDefaults::boolForKey(passwordInKeyring))
+ if (true)
@ keyring-box-offered-without-keyring src/app/AppDelegate.cpp
- self->keyringUsable_ = !unavailability || isOn(box);
+ self->keyringUsable_ = true;
@ keyring-choice-locked-in-without-keyring src/app/AppDelegate.cpp
- self->keyringUsable_ = !unavailability || isOn(box);
+ self->keyringUsable_ = !unavailability;
@ start-waits-to-start-worker-without-keyring src/account/AccountPassword.cpp
- if (!keyring || !UserDefaults::boolForKey(passwordInKeyring))
+ if (!keyring || !UserDefaults::boolForKey(passwordInKeyring)) return; if (false)
@ service-silent-on-keyring-settings src/companion/Run.cpp
- MyFunctions::addToActivityLog(keyringOutOfReach());
+
@ base64-length-unchecked src/settings/PasswordCipher.cpp
- text.size() % 4 != 0
+ false
@ base64-foreign-characters-skipped src/settings/PasswordCipher.cpp
- text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors)
+ text.toLatin1())
@ deciphered-text-errors-ignored src/settings/PasswordCipher.cpp
- return decoder.hasError() ? std::nullopt
+ return false ? std::nullopt
@ password-read-not-deciphered src/settings/Settings.cpp
- if (key == SettingsKeys::password)
+ if (key != SettingsKeys::password)
@ log-lock-removed src/log/ActivityLog.cpp
- std::mutex logMutex;
+ struct { void lock() {} void unlock() {} } logMutex;
@ log-not-trimmed src/log/ActivityLog.cpp
- trimMutableString(logText, ActivityLog::maximumLength);
+
@ trim-leaves-line-feed src/log/ActivityLog.cpp
- firstLineEnd + lineEnd.size()
+ firstLineEnd + 1
@ bare-line-feed-ends-a-line src/log/ActivityLog.cpp
- const qsizetype firstLineEnd = text.indexOf(lineEnd);
+ const qsizetype firstLineEnd = text.indexOf(QChar(10)) - 1;
@ tooltip-dropped src/log/ActivityLog.cpp
- handOver(pendingToolTip, text);
+
@ refresh-compare-flipped src/log/ActivityLog.cpp
- shownChanges == logChanges
+ shownChanges != logChanges
@ username-one-too-short src/validation/MyValidator.cpp
- "^[0-9a-zA-Z]{4,20}$"
+ "^[0-9a-zA-Z]{3,20}$"
@ group-one-too-long src/validation/MyValidator.cpp
- "^[0-9a-zA-Z]{1,50}$"
+ "^[0-9a-zA-Z]{1,51}$"
@ password-admits-space src/validation/MyValidator.cpp
- \?\/]{4,20}$
+ \?\/ ]{4,20}$
@ pattern-not-anchored src/validation/MyValidator.cpp
- QRegularExpression::anchoredPattern(
+ QString(
@ save-keeps-snoozing src/account/SaveSettings.cpp
- wakeUpdateWorker();
+
@ reply-during-save-remembered src/update/ClientUpdate.cpp
- {updatedipv4, inputs.rememberedIPv4},
+
@ addresses-forgotten-by-save-unnoticed src/update/ClientUpdate.cpp
- {updatedipv6, inputs.rememberedIPv6}});
+ });
@ group-saved-during-request-unnoticed src/update/ClientUpdate.cpp
- {location, inputs.location},
+
@ missing-address-ends-cycle src/update/ClientUpdate.cpp
- const QString discoveredIPv6 = MyFunctions::getIPv6Address();
+ const QString discoveredIPv6 = MyFunctions::getIPv6Address(); if (discoveredIPv6.isEmpty()) return;
@ missing-address-sent-as-no src/update/ClientUpdate.cpp
- {"myipv6", inputs.updateIPv6Address ? discoveredIPv6 : QString("no")},
+ {"myipv6", inputs.updateIPv6Address && !discoveredIPv6.isEmpty() ? discoveredIPv6 : QString("no")},
@ unparsable-file-counts-as-refused src/settings/UserDefaults.cpp
- if (store.status() != QSettings::AccessError)
+ if (store.status() == QSettings::NoError)
@ log-view-left-at-the-top src/app/AppDelegate.cpp
- view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
+
@ save-keeps-remembered-ipv4 src/account/SaveSettings.cpp
- {updatedipv4, QString("")},
+
@ save-marks-unsaved src/account/SaveSettings.cpp
- {saved, true},
+ {saved, false},
@ worker-woken-before-addresses-emptied src/account/SaveSettings.cpp
- UserDefaults::setValues(
+ KeepSnoozing = 0; UserDefaults::setValues(
@ refused-group-empties-stored-group src/account/SaveSettings.cpp
- return SaveOutcome::InvalidGroup;
+ UserDefaults::setObject(location, ""); return SaveOutcome::InvalidGroup;
@ refused-password-empties-stored-password src/account/SaveSettings.cpp
- return SaveOutcome::InvalidPassword;
+ UserDefaults::setObject(password, ""); return SaveOutcome::InvalidPassword;
@ accepted-empty-group-keeps-stored-group src/account/SaveSettings.cpp
- {{location, entries.group},
+ {{location, entries.group.isEmpty() ? UserDefaults::objectForKey(location) : entries.group},
@ group-masked-inside-words src/account/SaveSettings.cpp
- QRegularExpression("\\b" + QRegularExpression::escape(group) + "\\b")
+ QRegularExpression(QRegularExpression::escape(group))
@ short-group-masked src/account/SaveSettings.cpp
- if (group.size() >= shortestPassword)
+ if (!group.isEmpty())
@ save-stores-fields-read-again src/app/AppDelegate.cpp
- field->setReadOnly(saving);
+ field->setReadOnly(false);
@ input-method-commit-reaches-fields src/app/AppDelegate.cpp
- return saving_ && event->type() == QEvent::InputMethod;
+ return false;
@ controls-usable-during-save src/app/AppDelegate.cpp
- control->setEnabled(!saving);
+ control->setEnabled(true);
@ quit-unreachable-during-save src/app/AppDelegate.cpp
- if (action != quitEntry_)
+ if (true)
@ menu-button-hidden src/app/PreferencesWindow.cpp
- buttonMenu->setPopupMode(QToolButton::InstantPopup);
+ buttonMenu->setPopupMode(QToolButton::InstantPopup); buttonMenu->hide();
@ first-run-ipv6-unticked src/app/AppDelegate.cpp
- checkBoxUpdateIPv6Address->setChecked(true);
+ checkBoxUpdateIPv6Address->setChecked(false);
@ documentation-page-path src/app/AppDelegate.cpp
- "/DynamicDNS/IPUpdateClient/MACOSX"
+ "/DynamicDNS/IPUpdateClient"
@ groups-page-path src/app/AppDelegate.cpp
- "/ControlPanel/DDNSGroup"
+ "/ControlPanel/DDNSGroups"
@ log-view-never-attached src/app/AppDelegate.cpp
- ActivityLog::setDisplay(this);
+
@ refresh-timer-not-started src/app/AppDelegate.cpp
- refreshTimer_->start();
+
@ shown-view-not-caught-up src/app/AppDelegate.cpp
- MyFunctions::refreshActivityLog();
+
@ save-without-final-refresh src/account/SaveSettings.cpp
- MyFunctions::refreshActivityLog();
+
@ tray-tooltip-not-set src/app/AppDelegate.cpp
- statusItem_->setToolTip(toolTip);
+
@ group-field-not-filled src/app/AppDelegate.cpp
- window_->textBoxLocation->setText(UserDefaults::objectForKey(location).toString());
+
@ close-without-tray-quits src/app/AppDelegate.cpp
- toldHowToReturn_ = true;
+ menuQuitClick();
@ close-without-tray-tells-every-time src/app/AppDelegate.cpp
- toldHowToReturn_ = true;
+
@ failing-told-every-cycle src/app/UpdateNotices.cpp
- if (networkDown || ++failuresInARow_ < 2 || failingTold_)
+ if (networkDown || ++failuresInARow_ < 2)
@ failing-told-at-the-first-failure src/app/UpdateNotices.cpp
- ++failuresInARow_ < 2
+ ++failuresInARow_ < 1
@ failing-told-while-offline src/app/UpdateNotices.cpp
- if (networkDown || ++
+ if (++
@ recovery-not-told src/app/UpdateNotices.cpp
- return Notice::WorkingAgain;
+ return std::nullopt;
@ stop-not-told src/app/UpdateNotices.cpp
- return stopped ? std::optional(Notice::Stopped) : std::nullopt;
+ return std::nullopt;
@ network-state-not-asked src/app/AppDelegate.cpp
- earlyCycles_ && earlyCycles_->networkDown()
+ false
@ vanished-settings-keep-tooltip src/app/AppDelegate.cpp
- acceptedToolTip_.clear();
+
@ quit-tells-it-keeps-updating src/app/AppDelegate.cpp
- if (!quitting_ && !QSystemTrayIcon::isSystemTrayAvailable())
+ if (!QSystemTrayIcon::isSystemTrayAvailable())
@ notification-lost-without-tray src/app/DesktopNotification.cpp
- if (statusItem && QSystemTrayIcon::isSystemTrayAvailable() && statusItem->supportsMessages())
+ if (statusItem)
@ enter-does-not-save src/app/PreferencesWindow.cpp
- connect(field, &QLineEdit::returnPressed, buttonSave, &QPushButton::click);
+
@ vanished-settings-not-reported src/update/IPUpdateThread.cpp
- if (!MyFunctions::getConfigurationBoolean(saved)) {
+ if (!MyFunctions::getConfigurationBoolean(saved)) { return;
@ resume-cycles-at-once src/update/EarlyCycleTrigger.cpp
- awaitNetworkFrom(now.sinceBoot);
+ pending_ = true;
@ told-resume-latches-network-down src/update/EarlyCycleTrigger.cpp
- void EarlyCycleTrigger::resumed() {
+ void EarlyCycleTrigger::resumed() { offline_ = true;
@ resume-latches-network-down src/update/EarlyCycleTrigger.cpp
- awaitNetworkFrom(now.sinceBoot);
+ offline_ = true, awaitNetworkFrom(now.sinceBoot);
@ resume-without-fallback src/update/EarlyCycleTrigger.cpp
- if (fallbackAt_ && now.sinceBoot >= *fallbackAt_) {
+ if (false) {
@ start-ignores-connecting-network src/update/IPUpdateThread.cpp
- if (earlyCycles_ && earlyCycles_->holdsFirstCycle())
+ if (false)
@ failure-time-in-utc src/log/ActivityLog.cpp
- QDateTime::currentDateTime().toString(u"HH:mm")
+ QDateTime::currentDateTimeUtc().toString(u"HH:mm")
@ resumes-noticed-only-through-logind src/update/WorkerWait.cpp
? the clocks part only across a suspend; a time namespace's offset is fixed before its first process, so no running wait sees them part, and a test that only reads which clock is asked restates this line
- return {systemClock(CLOCK_MONOTONIC), systemClock(CLOCK_BOOTTIME)};
+ return {systemClock(CLOCK_MONOTONIC), systemClock(CLOCK_MONOTONIC)};
@ tray-left-click-opens-nothing src/app/AppDelegate.cpp
- if (reason == QSystemTrayIcon::Trigger)
+ if (false)
@ stamp-in-utc src/log/ActivityLog.cpp
- QDateTime::currentDateTime().toString(u"yyyy-MM-dd
+ QDateTime::currentDateTimeUtc().toString(u"yyyy-MM-dd
@ stderr-passes-line-feed src/log/ActivityLog.cpp
- switch (QChar::category(c)) {
+ if (c == u'\n') return false; switch (QChar::category(c)) {
@ network-never-followed src/app/AppDelegate.cpp
- followNetworkReachability(earlyCycles_, this);
+
@ network-online-below-global src/app/NetworkReachability.cpp
- trigger_->reachabilityChanged(state == connectedGlobal);
+ trigger_->reachabilityChanged(state >= 60);
@ resume-not-offline src/app/NetworkReachability.cpp
- if (!sleeping)
+ if (sleeping)
@ tls-key-log-written src/service/Transport.cpp
- qunsetenv("SSLKEYLOGFILE");
+
@ hanging-lookup-waited-for src/service/Transport.cpp
- curl_easy_setopt(handle, CURLOPT_QUICK_EXIT, 1L);
+
@ tls-sessions-not-shared src/service/Transport.cpp
- curl_easy_setopt(handle, CURLOPT_SHARE, sessions);
+
@ tls-sessions-never-renewed src/service/Transport.cpp
- now - current->madeAt >= ServiceClient::sessionLifetime()
+ false
@ tls-session-share-unlocked src/service/Transport.cpp
? two threads' exchanges would race inside libcurl, which no sanitizer here instruments (ThreadSanitizer passes tst_service with it)
- curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, lock);
+
@ stand-in-ticket-keys-per-connection tools/standin/StandInServer.cpp
- *tls_[static_cast<size_t>(host)], &server);
+ TlsServerContext(certificates_.server.toPem(), certificates_.serverKey.toPem()), &server);
@ stand-in-tells-every-session-resumed tools/standin/TlsSocket.cpp
- return SSL_session_reused(ssl_.get()) == 1;
+ return true;
@ system-store-read-whole src/service/Transport.cpp
? the same authorities either way: only the time a request takes tells, as bench/cycle_benchmark shows
- curl_easy_setopt(handle, CURLOPT_CAINFO, nullptr);
+ {}
@ sockets-inherited-by-launched-programs src/service/Transport.cpp
? a socket lives only during a request, and the descriptor test runs between requests; a browser launched mid-request would show it
- curl_easy_setopt(handle, CURLOPT_SOCKOPTFUNCTION, closeOnExec);
+
@ root-writes-as-root src/companion/SettingsOwner.cpp
- if (end.st_uid == 0 || becomeOwner(end))
+ if (true)
@ root-acts-with-the-folders-group src/companion/SettingsOwner.cpp
- const gid_t gid = user ? user->pw_gid : folder.st_gid;
+ const gid_t gid = folder.st_gid;
@ root-reads-settings-before-the-check src/companion/Companion.cpp
- if (!SettingsOwner::actAsOwnerOfSettings(
+ UserDefaults::objectForKey("saved"); if (!SettingsOwner::actAsOwnerOfSettings(
@ root-acts-where-others-write src/companion/SettingsOwner.cpp
- if (!isSteady(lookup, end.st_uid)) {
+ if (false) {
@ sticky-folder-trusts-any-name src/companion/SettingsOwner.cpp
- return (folder.st_mode & S_ISVTX) && lookup.found && trusted(lookup.found->st_uid);
+ return folder.st_mode & S_ISVTX;
@ save-judges-every-thread src/settings/UserDefaults.cpp
- thread_local bool* writeVerdict
+ bool* writeVerdict
@ hand-written-no-reads-true src/settings/UserDefaults.cpp
- if (value.typeId() == QMetaType::Bool)
+ if (true)
@ cipher-drops-byte-order-mark src/settings/PasswordCipher.cpp
- QStringDecoder::Flag::ConvertInitialBom
+ QStringDecoder::Flag::Stateless
@ early-cycle-spacing-shortened src/update/EarlyCycleTrigger.h
- minimumSpacing{30}
+ minimumSpacing{20}
@ machine-trust-hooks-run tools/standin/SystemTrust.cpp
? the tests' certificates are the same either way; the empty hooks folder only keeps a broken hook of the machine's (a half-configured Java store) from failing the tests' set-up
- {"--hooksdir", hooks.path()}
+ QStringList()
@ stand-in-leaves-its-folder tools/standin/main.cpp
? only the benchmarks and the demo run the program, and they end it with SIGTERM; a folder left in /tmp is seen by hand, not by a test
- quitOnTerminationSignals({SIGTERM, SIGINT}); // so that the authority's folder goes
+
@ invalid-account-shows-working src/update/IPUpdateThread.cpp
- MyFunctions::reportCycleFailed("the stored user name or password is not valid");
+
@ store-follows-relative-config-home src/settings/UserDefaults.cpp
- return QDir::isAbsolutePath(home) ? QDir::cleanPath(home)
+ return !home.isEmpty() ? QDir::cleanPath(home)
@ writers-of-other-processes-unlocked src/settings/UserDefaults.cpp
- while (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
+ while (false) {
@ walked-path-reaches-root-raw src/companion/SettingsOwner.cpp
- return ActivityLog::terminalSafe(path);
+ return path;
@ dropped-updater-left-unnamed src/update/UpdaterLock.cpp
- nameHolder(descriptor);
+
@ root-keeps-its-groups src/companion/SettingsOwner.cpp
- user ? ::initgroups(user->pw_name, gid) == 0 : ::setgroups(0, nullptr) == 0;
+ true;
@ status-silent-on-desktop-updater src/companion/Status.cpp
- if (!holder)
+ if (true)
@ refused-set-account-stores-choices src/companion/SetAccount.cpp
- entries.choicesStoredIfRefused = false;
+
EOF
}

occurrences() { # file text
  { grep -oF -- "$2" "$1" || true; } | wc -l
}

# Replaces the one occurrence of text with replacement; bash's quoted pattern is literal.
apply_mutant() { # file text replacement
  local content
  content=$(<"$1")
  printf '%s\n' "${content/"$2"/"$3"}" >"$1"
}

prepare_scratch() {
  rm -rf "$scratch/tree"
  mkdir -p "$scratch/tree"
  git ls-files -z --cached --others --exclude-standard |
    xargs -0 cp --parents -t "$scratch/tree"
  # Each mutant relinks every test and program: without debug information and the
  # benchmarks, and with binutils' gold rather than its default linker, that takes 0.5 s
  # rather than 3 s. Where binutils comes without gold, the default one links.
  local linker=()
  if command -v ld.gold >/dev/null; then linker=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=gold); fi
  cmake -S "$scratch/tree" -B "$scratch/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DVORLIN_BENCH=OFF "${linker[@]}" \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >"$scratch/cmake.log"
}

build() {
  cmake --build "$scratch/build" >"$scratch/build.log" 2>&1
}

# The first test that failed, or the time limit.
first_failure() {
  grep -m1 -oE 'tst_[a-z_0-9]+ [.*]+(Failed|Timeout|Exception|Subprocess)' "$scratch/test.log" |
    cut -d' ' -f1 | grep . || echo "over ${timeout_seconds} s"
}

# The test that killed each mutant in an earlier run ("name test" lines), which runs first:
# most mutants then cost that one test rather than every test before it.
killers=$scratch/killers
mkdir -p "$scratch"
touch "$killers"
last_killer() { # name
  awk -v name="$1" '$1 == name { print $2 }' "$killers"
}
remember_killer() { # name test
  { grep -v "^$1 " "$killers" || true; } >"$killers.new"
  echo "$1 $2" >>"$killers.new"
  mv "$killers.new" "$killers"
}

ctest_limited() {
  timeout "$timeout_seconds" ctest --test-dir "$scratch/build" -j "$jobs" "$@" \
    >"$scratch/test.log" 2>&1
}

# Stops at the first failing test, trying the mutant's earlier killer first.
run_tests() { # [name]
  local killer
  killer=$(last_killer "${1:-}")
  if [ -z "$killer" ]; then
    ctest_limited --stop-on-failure
  else
    ctest_limited -R "^$killer\$" && ctest_limited --stop-on-failure -E "^$killer\$"
  fi
}

prepare_scratch
echo "baseline: building and testing the unchanged tree"
if ! build || ! run_tests; then
  echo "the unchanged tree fails its build or tests; see $scratch/*.log" >&2
  exit 2
fi

killed=0 survived=0 known=0 stale=0
name='' file='' text='' reason=''
while IFS= read -r line; do
  case $line in
  '@ '*)
    read -r name file <<<"${line#@ }"
    reason=''
    ;;
  '? '*) reason=${line#'? '} ;;
  '- '*) text=${line#- } ;;
  '+'*)
    replacement=${line#+}
    replacement=${replacement# }
    [[ -z $filter || $name =~ $filter ]] || continue
    count=$(occurrences "$scratch/tree/$file" "$text")
    if [ "$count" -ne 1 ]; then
      echo "$name: stale ($count matches in $file)"
      stale=$((stale + 1))
      continue
    fi
    cp "$scratch/tree/$file" "$scratch/original"
    apply_mutant "$scratch/tree/$file" "$text" "$replacement"
    if ! build; then
      echo "$name: killed (does not build)"
      killed=$((killed + 1))
    elif ! run_tests "$name"; then
      killer=$(first_failure)
      echo "$name: killed ($killer)"
      if [[ $killer == tst_* ]]; then remember_killer "$name" "$killer"; fi
      killed=$((killed + 1))
    elif [ -n "$reason" ]; then
      echo "$name: survived (known: $reason)"
      known=$((known + 1))
    else
      echo "$name: survived"
      survived=$((survived + 1))
    fi
    cp "$scratch/original" "$scratch/tree/$file"
    ;;
  esac
done < <(mutants)
[ "$stale" -eq 0 ] || echo "$stale stale"
echo "$killed killed, $survived survived, $known known survivors"
