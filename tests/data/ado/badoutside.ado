display "this line sits outside any program"
program define badoutside
end
