// The program file side of the command list: buildImage compiles the open
// program into a CommandImage, loadImage adds the records of a received
// image to it, hasRelay2Commands tells whether relay 2 is used. A closed
// database (nullptr) fails quietly; a database failure is shown as "Błąd
// bazy danych: " with the engine's text.
#pragma once

#include <string>

#include "CommandImage.h"
#include "SqlDatabase.h"
#include "UserMessages.h"

namespace kt64::program {

struct BuildOutcome {
    bool built = false;
    // When refused for a record the list cannot hold: the line naming it.
    std::string fault;
};

// Fills image, which the caller has set to FF. Nothing is written when it
// fails.
BuildOutcome buildImage(Database* db, ImageSpan image, UserMessages& messages);

// Appends the blocks, dates and commands of image to the program (a new
// program made from the template). What was added before a failure stays.
bool loadImage(Database* db, ConstImageSpan image, UserMessages& messages);

// Whether any command switches relay 2; false also when the database is
// closed or the query fails (after the database message).
bool hasRelay2Commands(Database* db, UserMessages& messages);

}  // namespace kt64::program
