#pragma once

#include "account/SaveSettings.h"

#include <QString>
#include <functional>

// Where the saved account's password lives: enciphered in the settings file, or in the
// desktop's keyring with the file's "password" empty.

// The keyring's entry of a user name for these settings, so that settings folders with the same
// user name keep an entry each.
QString keyringKeyOf(const QString& user);

// At start: takes the password that the settings keep in the keyring into memory for the
// worker, then calls `then`: at once when there is none to take, else once the keyring
// answered. A keyring that cannot give it (locked, its prompt refused) is asked no more: one
// line says so, and the cycles fail until the next Save or start.
void takePasswordFromKeyring(const std::function<void()>& then);

// The saved password as the window shows it: from the file, or as the keyring gave it.
QString savedPassword();

// Before the file is written: a password to be kept in the keyring is stored there. False,
// with a line in the log, when the keyring refused it.
bool storeInKeyringWhenChosen(const AccountEntries& entries);

// The account that was saved before a Save: whose keyring entry may have to go.
struct EarlierAccount {
    QString username;
    bool passwordInKeyring;
    bool inEarlierVersionsEntry; // the keyring's entry under the user name alone
};
EarlierAccount earlierAccount();

// Once the file holds the Save: the password is held for the worker, and the keyring's entry
// of the earlier account goes once nothing needs it; a line says when it may remain.
void settlePasswordPlace(const AccountEntries& entries, const EarlierAccount& earlier);
// When the file could not take the Save: the entry it wrote goes, unless the earlier account
// keeps using it.
void undoKeyringWrite(const AccountEntries& entries, const EarlierAccount& earlier);
