#include "MurmeloAppApp.h"

int main(int argc, char* argv[]) {
    return murmelo::MurmeloAppApp::main(argc, argv);
}
