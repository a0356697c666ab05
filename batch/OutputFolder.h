#pragma once

#include <QString>

// Makes sure that a batch can write its outputs into `dir`: a missing folder is made, with its
// parents. 0, or -202 with `reason` saying in the user's words why the folder cannot be used.
int prepareOutputFolder(const QString &dir, QString &reason);
