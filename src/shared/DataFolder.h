#pragma once

#include <QString>
#include <functional>

// Where the program keeps its databases: the folder that holds db/ (the work database, Calvera's
// demo databases and calvera.ini).
//
// - PLANEXO_DATA, when set, names it.
// - Otherwise the program's own folder, when it holds db/ and can be written (a portable copy).
// - Otherwise the per-user data folder.
// A chosen folder without db/ is seeded once from the demo databases as shipped: the installed
// data, a build's db-pristine/ beside the program, or a db/ beside the program that cannot be
// written; never from a writable db/ beside it (a build's, which holds the runs made there). A
// folder that holds db/ is never overwritten. On Linux the per-user folder is the user's alone
// (0700, its seeded files 0600).
namespace datafolder {

struct Places {
    QString programFolder; // the executable's folder
    QString installedData; // the installed copy of db/'s parent, e.g. <prefix>/share/planexo
    QString userData;      // the per-user data folder
    QString override;      // PLANEXO_DATA
    // Whether a folder can be written into; writable() unless replaced.
    std::function<bool(const QString &)> canWrite;
};

// The folder to use; `problem` says why seeding failed (the folder is returned all the same, so
// that start-up names it in its failure message).
QString choose(const Places &places, QString *problem = nullptr);
// The places of this run: the executable's folder, <prefix>/share/planexo beside its bin/, the
// per-user data folder and the environment's PLANEXO_DATA.
Places current();

// True when the folder can be written into (checked by creating a file there).
bool writable(const QString &folder);

} // namespace datafolder
