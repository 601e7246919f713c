// join_slowly CHOSEN_PART OUTPUT_PATH: joins the set with a pause of 20 ms in
// every yield and prints "copying" once the first step is in, so that a test
// can kill it in the middle of the copy.
#include "core/ProgramState.h"
#include "join/JoinEngine.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

using namespace tfs;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: join_slowly CHOSEN_PART OUTPUT_PATH\n");
        return 2;
    }
    JoinHooks hooks;
    bool told = false;
    hooks.progress = [&](int) {
        if (!told) {
            std::printf("copying\n");
            std::fflush(stdout);
            told = true;
        }
    };
    hooks.yield = [] { QThread::msleep(20); };
    ProgramState state;
    spojfor(state, QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), hooks);
    return 0;
}
