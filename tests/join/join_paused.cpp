// SPDX-License-Identifier: GPL-3.0-or-later
// join_paused CHOSEN_PART OUTPUT_PATH: joins the set and, once the first step
// is in, prints "copying" and waits there until its standard input ends, so
// that a test can kill it in the middle of the copy (or let it go on by
// closing that input).
#include "core/OperationState.h"
#include "join/JoinEngine.h"

#include <QCoreApplication>
#include <cstdio>

using namespace tfs;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: join_paused CHOSEN_PART OUTPUT_PATH\n");
        return 2;
    }
    JoinHooks hooks;
    bool told = false;
    hooks.progress = [&](int) {
        if (told) return;
        told = true;
        std::printf("copying\n");
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
    };
    JoinState state;
    joinParts(state, readPartSet(QString::fromLocal8Bit(argv[1])), QString::fromLocal8Bit(argv[2]),
              hooks);
    return 0;
}
