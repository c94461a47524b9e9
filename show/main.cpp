// quorvane intro — the program: start-up, the frame loop until Escape, shutdown.
#include "show/show.h"

int main() { return show::run(); }
