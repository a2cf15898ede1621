// A program that does nothing: what starting a process costs in the prefix,
// the floor of every capture, which starts two (the companion and its helper).
int main() { return 0; }
