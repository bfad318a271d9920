// A program that does nothing: the floor of starting a process, built like
// kappa, for bench/run.sh.
int main() { return 0; }
