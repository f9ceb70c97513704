#pragma once

#include "account/SaveSettings.h"

#include <QString>

// Where the saved account's password lives: enciphered in the settings file, or in the
// desktop's keyring with the file's "password" empty.

// At start: takes the password that the settings keep in the keyring into memory for the
// worker. A keyring that cannot give it (locked, its prompt refused) is asked no more: one
// line says so, and the cycles fail until the next Save or start.
void takePasswordFromKeyring();

// The saved password as the window shows it: from the file, or as the keyring gave it.
QString savedPassword();

// Before the file is written: a password to be kept in the keyring is stored there. False,
// with a line in the log, when the keyring refused it.
bool storeInKeyringWhenChosen(const AccountEntries& entries);

// The account that was saved before a Save: whose keyring entry may have to go.
struct EarlierAccount {
    QString username;
    bool passwordInKeyring;
};
EarlierAccount earlierAccount();

// Once the file holds the Save: the password is held for the worker, and the keyring's entry
// of the earlier account goes once nothing needs it.
void settlePasswordPlace(const AccountEntries& entries, const EarlierAccount& earlier);
