// The game program: "--windowed" or "--fullscreen" answers the start-up question without asking.
#include "game/startup.h"

int main(int argc, char **argv)
{
    return WinMain(argc, argv);
}
