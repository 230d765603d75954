#include "display/startup.h"

int main(int argc, char** argv) {
    return display::Main(argc, argv);
}
