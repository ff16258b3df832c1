// Process entry of TARVEXWindow.
int main() { return 0; }
