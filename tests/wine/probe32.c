/* The 32-bit probe: a console program that only says it ran. If Wine runs it,
   this machine runs the players' 32-bit launcher (tests/wine/choose-arch.sh). */
#include <stdio.h>

int main(void) {
    puts("drel-probe32 ran");
    return 0;
}
