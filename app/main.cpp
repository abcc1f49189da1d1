#include "app/application.h"

int main(int argc, char** argv) {
    return korvista::RunKorvista(argc, argv);
}
