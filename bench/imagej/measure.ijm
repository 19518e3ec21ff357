// Opens each picture and measures two 24 x 24 rectangles (a window and a background
// window, as one step of the program does), timing each picture with getTime().
// Argument: "<rounds>;<file>;<file>;...". Prints one line per picture and round:
// "time <round> <file> <ms> <mean of window> <mean of background>".
parts = split(getArgument(), ";");
rounds = parseInt(parts[0]);
setBatchMode(true);
print("version " + getVersion());
for (r = 0; r < rounds; r++) {
    for (i = 1; i < parts.length; i++) {
        t0 = getTime();
        open(parts[i]);
        makeRectangle(488, 488, 24, 24);
        getStatistics(area, window);
        makeRectangle(10, 10, 24, 24);
        getStatistics(area, background);
        close();
        print("time " + r + " " + parts[i] + " " + (getTime() - t0) + " " + window + " " + background);
    }
}
