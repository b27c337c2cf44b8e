#include "app/application.h"

int main(int argc, char** argv) { return kvo::gui::runApplication(argc, argv); }
