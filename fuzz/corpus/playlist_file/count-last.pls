[Playlist]
File1=C:\Music\one.mp3
Title1=One
File10=../up/ten.mp3
file2=./two.oga
NumberOfEntries=3
